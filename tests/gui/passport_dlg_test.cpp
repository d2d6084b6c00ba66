// The passport dialog over a chromatogram document: what it shows, what OK
// takes back (and what it refuses), Cancel, the gas and liquid layouts, and
// the question about a sampling place the analyses database does not know.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "database/analyses_database.h"
#include "database/recordsets.h"
#include "gui/document/chromatogram_prompts.h"
#include "gui/document/passport_dlg.h"
#include "gui/number_edit.h"
#include "gui_test_support.h"
#include "processing/chromatogram_commands.h"

using namespace zelmora;
using zelmora::gui::CPassportDlg;
using zelmora::guitest::MessageLog;

namespace {

std::time_t localTime(int d, int m, int y, int hh, int mm, int ss) {
    std::tm tm{};
    tm.tm_mday = d;
    tm.tm_mon = m - 1;
    tm.tm_year = y - 1900;
    tm.tm_hour = hh;
    tm.tm_min = mm;
    tm.tm_sec = ss;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

template <typename T>
T* child(QDialog& dlg, const char* name) {
    T* w = dlg.findChild<T*>(QString::fromLatin1(name));
    if (w == nullptr)
        qFatal("no child %s", name);
    return w;
}

void fillDocument(CZelmoraDoc& doc) {
    doc.passport.file = "/data/ГРС-1 вход.stg";
    doc.passport.sample = "Газ природный";
    doc.passport.samplingTime = localTime(5, 3, 2024, 9, 7, 30);
    doc.passport.analysisTime = localTime(6, 3, 2024, 14, 1, 2);
    doc.passport.place = "ГРС-1";
    doc.passport.point = "Вход";
    doc.passport.operatorName = "Иванова";
    doc.passport.noise = 0.01234;
    doc.passport.drift = 12.345;
    doc.passport.comment = "старый";
}

}  // namespace

class PassportDlgTest : public QObject {
    Q_OBJECT
  private slots:
    void showsAndTakesBackThePassport() {
        CZelmoraDoc doc;
        fillDocument(doc);
        const Passport before = doc.passport;
        {
            CPassportDlg dlg(doc, nullptr);
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            QVERIFY(dlg.grab().save(QStringLiteral("passport-gas.png")));
            QCOMPARE(child<QLineEdit>(dlg, "sample")->text(), QStringLiteral("Газ природный"));
            QCOMPARE(child<QLineEdit>(dlg, "day")->text(), QStringLiteral("05"));
            QCOMPARE(child<QLineEdit>(dlg, "year")->text(), QStringLiteral("2024"));
            QCOMPARE(child<QLineEdit>(dlg, "second")->text(), QStringLiteral("30"));
            const QList<QLabel*> labels = dlg.findChildren<QLabel*>();
            auto shows = [&](const QString& t) {
                for (const QLabel* l : labels)
                    if (l->text() == t)
                        return true;
                return false;
            };
            QVERIFY(shows(QStringLiteral("ГРС-1 вход")));
            QVERIFY(shows(QStringLiteral("06.03.24  14:01:02")));
            QVERIFY(shows(QStringLiteral("0.012")));
            QVERIFY(shows(QStringLiteral("12.3")));
            QVERIFY(dlg.gasLayout());
            QVERIFY(!child<QLineEdit>(dlg, "deadTime")->isVisible());
            // Without a method the amounts keep their own names.
            QCOMPARE(dlg.amountLabel(0), QStringLiteral("Масса пробы"));

            child<QLineEdit>(dlg, "sample")->setText(QStringLiteral("Смесь"));
            child<QLineEdit>(dlg, "hour")->setText(QStringLiteral("23"));
            child<QComboBox>(dlg, "point")->setEditText(QStringLiteral("Выход"));
            child<QCheckBox>(dlg, "calibration")->setChecked(true);
            dlg.reject();
        }
        QCOMPARE(doc.passport, before);  // Cancel leaves it

        CPassportDlg dlg(doc, nullptr);
        child<QLineEdit>(dlg, "sample")->setText(QStringLiteral("Смесь"));
        child<QLineEdit>(dlg, "hour")->setText(QStringLiteral("23"));
        child<QComboBox>(dlg, "point")->setEditText(QStringLiteral("Выход"));
        child<QLineEdit>(dlg, "operator")->setText(QStringLiteral("Петров"));
        CPassportDlg::editComment = [](QString& c, QWidget*) {
            c = QStringLiteral("новый");
            return true;
        };
        child<QPushButton>(dlg, "commentButton")->click();
        {
            // Bad values keep the dialog open and the passport unchanged.
            MessageLog log;
            child<QLineEdit>(dlg, "month")->setText(QStringLiteral("13"));
            dlg.accept();
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
            QVERIFY(log.saw(QStringLiteral("от 1 до 12")));
            child<QLineEdit>(dlg, "month")->setText(QStringLiteral("02"));
            child<QLineEdit>(dlg, "day")->setText(QStringLiteral("31"));
            dlg.accept();
            QVERIFY(log.saw(QStringLiteral("Неверная дата отбора.")));
            QCOMPARE(doc.passport, before);
            child<QLineEdit>(dlg, "month")->setText(QStringLiteral("03"));
            child<QLineEdit>(dlg, "day")->setText(QStringLiteral("5"));
        }
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        CPassportDlg::editComment = nullptr;
        QCOMPARE(doc.passport.sample, std::string("Смесь"));
        QCOMPARE(doc.passport.point, std::string("Выход"));
        QCOMPARE(doc.passport.operatorName, std::string("Петров"));
        QCOMPARE(doc.passport.comment, std::string("новый"));
        QCOMPARE(doc.passport.samplingTime, localTime(5, 3, 2024, 23, 7, 30));
        // Shown only, never taken back.
        QCOMPARE(doc.passport.noise, 0.01234);
        QCOMPARE(doc.passport.drift, 12.345);
        QCOMPARE(doc.passport.analysisTime, before.analysisTime);
    }

    void switchesBetweenGasAndLiquidLayouts() {
        CZelmoraDoc doc;
        fillDocument(doc);
        doc.passport.eluent = "Гелий 30 мл/мин";
        CPassportDlg dlg(doc, nullptr);
        dlg.show();
        QCOMPARE(child<QPushButton>(dlg, "layoutButton")->text(),
                 QStringLiteral("Газовый ->жидкостный"));
        child<QPushButton>(dlg, "layoutButton")->click();
        QVERIFY(!dlg.gasLayout());
        QVERIFY(child<QLineEdit>(dlg, "deadTime")->isVisible());
        QCOMPARE(child<QLineEdit>(dlg, "deadTime")->text(), QStringLiteral("1"));
        QCOMPARE(child<QPushButton>(dlg, "layoutButton")->text(),
                 QStringLiteral("Жидкостный ->газовый"));
        QVERIFY(dlg.grab().save(QStringLiteral("passport-liquid.png")));
        MessageLog log;
        child<QLineEdit>(dlg, "deadTime")->setText(QStringLiteral("1,5"));
        dlg.accept();
        QVERIFY(log.saw(QStringLiteral("от -1 до 1")));
        child<QLineEdit>(dlg, "deadTime")->setText(QStringLiteral("0,25"));
        dlg.accept();
        QCOMPARE(doc.passport.deadTime, 0.25);
        QCOMPARE(doc.passport.eluent, std::string("Гелий 30 мл/мин"));
    }

    void offersAnUnknownPlaceForTheDatabase() {
        QTemporaryDir dir;
        db::CAnalysesDatabase database(std::filesystem::path(dir.path().toStdString()) / "z.mdb");
        QVERIFY(database.create().ok());
        db::CStationSet stations(database.connection());
        QVERIFY(stations.add("ГРС-1").ok());

        CZelmoraDoc doc;
        fillDocument(doc);
        doc.passport.place = "ГРС-2";
        doc.passport.point = "";
        CPassportDlg dlg(doc, &database.connection());
        QVERIFY(child<QComboBox>(dlg, "place")->findText(QStringLiteral("ГРС-1")) >= 0);
        MessageLog log;
        log.answers = {QMessageBox::Cancel};
        dlg.accept();
        QVERIFY(log.saw(QStringLiteral("Пункт отбора ГРС-2 отсутствует в базе данных.")));
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(doc.passport.place, std::string("ГРС-2"));
        log.answers = {QMessageBox::Yes};
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(stations.open().ok());
        QVERIFY(stations.findName("ГРС-2") != nullptr);
    }

    void thePassportCommandMarksTheChromatogramModified() {
        CZelmoraDoc doc;
        fillDocument(doc);
        gui::ChromatogramPrompts prompts;
        prompts.runDialog = [](QDialog& d) {
            d.findChild<QLineEdit*>(QStringLiteral("sample"))->setText(QStringLiteral("Другая"));
            d.accept();
            return d.result();
        };
        RecordingMessageSink sink;
        ChromatogramCommands commands(doc, sink, prompts, [] { return programOptions(); });
        QVERIFY(!doc.isModified());
        QVERIFY(commands.EditPassport());
        QVERIFY(doc.isModified());
        QCOMPARE(doc.passport.sample, std::string("Другая"));
    }
};

QTEST_MAIN(PassportDlgTest)
#include "passport_dlg_test.moc"
