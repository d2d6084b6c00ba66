// The passport dialog's method buttons and its run-preparation mode: "&Метод"
// and ". . ." disabled until the program has a method editor and chooser,
// the chosen method taken (with its amount labels and the chromatogram's
// method) only on OK, and the passport each method remembers for its next
// run, ignored while the queue is in use.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "document/prepared_passport.h"
#include "gui/document/passport_dlg.h"
#include "gui_test_support.h"
#include "method/method_sheet.h"
#include "processing/quantitation.h"

using namespace zelmora;
using zelmora::gui::CPassportDlg;
using zelmora::guitest::MessageLog;
namespace fs = std::filesystem;

namespace {

QPushButton* button(QDialog& d, const char* name) {
    return d.findChild<QPushButton*>(QString::fromLatin1(name));
}

}  // namespace

class PassportMethodTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QVERIFY(guitest::startWithDemoMethod()); }

    void methodButtonsWaitForTheirWindowsThenChoose() {
        CZelmoraDoc doc;
        fillDemoDocument(doc, "Демо", 1700000000);
        SilentMessageSink sink;
        doc.reloadMethod(sink);
        QVERIFY(doc.hasMethod);
        {
            CPassportDlg dlg(doc, nullptr);
            QVERIFY(!button(dlg, "methodButton")->isEnabled());
            QVERIFY(!button(dlg, "chooseMethodButton")->isEnabled());
        }
        // A second method with an internal standard: other amount labels.
        CMethodSheet sheet;
        sheet.method() = demoMethod();
        sheet.method().calculation.kind = kInternalStandardClassic;
        QVERIFY(sheet.WriteMethod("Стандарт").ok());
        std::string edited;
        CPassportDlg::editMethod = [&](const std::string& m, QWidget*) {
            edited = m;
            return true;
        };
        CPassportDlg::chooseMethod = [](const std::string&, QWidget*) {
            return std::optional<std::string>("Стандарт");
        };
        {
            CPassportDlg dlg(doc, nullptr);
            QVERIFY(button(dlg, "methodButton")->isEnabled());
            const QString before = dlg.amountLabel(1);
            dlg.runMethodEditor();
            QCOMPARE(edited, std::string("Демо"));
            dlg.runMethodChooser();
            QCOMPARE(dlg.passport().method, std::string("Стандарт"));
            QVERIFY(dlg.amountLabel(1) != before);
            // Cancel: the chromatogram keeps its method.
            dlg.reject();
        }
        QCOMPARE(doc.passport.method, std::string("Демо"));
        {
            CPassportDlg dlg(doc, nullptr);
            dlg.runMethodChooser();
            dlg.accept();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        QCOMPARE(doc.passport.method, std::string("Стандарт"));
        QVERIFY(doc.hasMethod);
        QCOMPARE(documentMethod(doc)->calculation.kind, int(kInternalStandardClassic));
        CPassportDlg::editMethod = nullptr;
        CPassportDlg::chooseMethod = nullptr;
    }

    void eachMethodRemembersItsLastPassport() {
        QTemporaryDir dir;
        const fs::path folder(dir.path().toStdString());
        CZelmoraDoc doc;
        fillDemoDocument(doc, "Демо", 1700000000);
        doc.passport.sample = "первая";
        {
            CPassportDlg dlg(doc, nullptr);
            dlg.setRunPreparation(folder, false);  // nothing kept yet
            QVERIFY(dlg.runPreparation());
            dlg.findChild<QLineEdit*>(QStringLiteral("sample"))->setText(QStringLiteral("ТП-4"));
            dlg.findChild<QLineEdit*>(QStringLiteral("operator"))->setText(QStringLiteral("Котов"));
            dlg.accept();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        QVERIFY(fs::exists(folder / "Демо.ps"));
        // The next run of the method starts from it, with no file of its own.
        CZelmoraDoc next;
        fillDemoDocument(next, "Демо", 1700003600);
        {
            CPassportDlg dlg(next, nullptr);
            dlg.setRunPreparation(folder, false);
            QCOMPARE(dlg.passport().sample, std::string("ТП-4"));
            QCOMPARE(dlg.passport().operatorName, std::string("Котов"));
            QCOMPARE(dlg.passport().file, std::string("?"));
            QCOMPARE(dlg.findChild<QLineEdit*>(QStringLiteral("sample"))->text(),
                     QStringLiteral("ТП-4"));
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            QVERIFY(dlg.grab().save(QStringLiteral("passport-run-preparation.png")));
        }
        // With the queue in use the queue's sample counts, not the kept one.
        {
            CPassportDlg dlg(next, nullptr);
            dlg.setRunPreparation(folder, true);
            QCOMPARE(dlg.passport().sample, next.passport.sample);
        }
        // A damaged file is told and the dialog goes on with the document's passport.
        {
            std::ofstream(folder / "Демо.ps", std::ios::binary) << "xx";
            MessageLog log;
            CPassportDlg dlg(next, nullptr);
            dlg.setRunPreparation(folder, false);
            QVERIFY(log.saw(QStringLiteral("Сохранённый паспорт метода не прочитан.")));
            QCOMPARE(dlg.passport().sample, next.passport.sample);
        }
    }
};

QTEST_MAIN(PassportMethodTest)
#include "passport_method_test.moc"
