// The database report dialogs as an operator fills them: the lists of
// components and sampling points for the chosen method and dates, all
// selected at first, what is unselected becoming the report's exclusions;
// the station's points in the point report; "Необходимо указать компонент"
// for a component report without one; and each report made from its
// definition file and shown in a database-report window of the main window
// (band 133, its pages, no page commands on a one-page report, a long report
// paged through), written from there as RTF, PDF and CSV, the window closing
// once the file is written. The dialogs' pictures and the reports' PDFs are
// left in the build folder.

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QListWidget>
#include <QMdiArea>
#include <QPointer>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <fstream>
#include <sstream>

#include "app/paths.h"
#include "database/recordsets.h"
#include "database/schema.h"
#include "gui/command_ids.h"
#include "gui/file_dialogs.h"
#include "gui/main_frame.h"
#include "gui/reports/db_report_dlg.h"
#include "gui/reports/report_wnd.h"
#include "gui_test_support.h"
#include "reports/rtf_reader.h"

using namespace zelmora;
using zelmora::gui::CDbReportDlg;
using zelmora::guitest::MessageLog;
namespace fs = std::filesystem;

namespace {

std::time_t at(int y, int mo, int d, int h) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

bool addAnalysis(db::Connection& c, const char* station, const char* place, std::time_t date,
                 const char* method, std::vector<std::pair<const char*, double>> results) {
    db::AnalysisRow row;
    row.station = station;
    row.place = place;
    row.date = date;
    row.anDate = date;
    row.method = method;
    row.sample = "Проба";
    const Result<int> key = db::CAnalysSet(c).add(row);
    if (!key)
        return false;
    db::CResultSet set(c);
    for (const auto& [name, value] : results)
        if (!set.add(*key, name, value))
            return false;
    return true;
}

QStringList listTexts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

}  // namespace

class DbReportDlgTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    std::optional<db::Connection> db_;

  private slots:
    void initTestCase() {
        Result<db::Connection> c =
            db::createAnalysesDatabase(fs::path(dir_.path().toStdString()) / "Zelmora.db");
        QVERIFY2(c.ok(), c.message().c_str());
        db_.emplace(std::move(c).value());
        db::Connection& d = *db_;
        QVERIFY(addAnalysis(d, "ГРС-1", "Выход", at(2026, 3, 10, 8), "Газ",
                            {{"Метан", 95.1}, {"Этан", 2.5}}));
        QVERIFY(addAnalysis(d, "ГРС-1", "Вход", at(2026, 3, 10, 9), "Газ", {{"Метан", 96.0}}));
        QVERIFY(addAnalysis(d, "O'Brien", "Кран 'A'", at(2026, 3, 10, 11), "Масло",
                            {{"Метан", 1.0}, {"Смесь \"Б\"", 0.4}}));
        QVERIFY(addAnalysis(d, "ГРС-1", "Выход", at(2026, 3, 11, 8), "Газ",
                            {{"Метан", 95.5}, {"Этан", 2.4}}));
        QVERIFY(addAnalysis(d, "ГРС-1", "Выход", at(2026, 2, 1, 8), "Газ", {{"Метан", 94.0}}));
    }

    void dateReport() {
        MessageLog messages;
        CDbReportDlg dlg(DbReportKind::Date, *db_, QDate(2026, 3, 10));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Отчёт для даты"));
        QCOMPARE(dlg.methodBox()->currentText(), QStringLiteral("* (любой)"));
        QCOMPARE(dlg.methodBox()->count(), 3);  // any, "Газ", "Масло"
        QCOMPARE(listTexts(dlg.componentList()), (QStringList{"Метан", "Смесь \"Б\"", "Этан"}));
        QCOMPARE(dlg.componentList()->selectedItems().size(), 3);
        QCOMPARE(dlg.pointList()->topLevelItemCount(), 3);
        QCOMPARE(dlg.pointList()->topLevelItem(0)->text(0), QStringLiteral("Кран 'A'"));
        QCOMPARE(dlg.pointList()->topLevelItem(0)->text(1), QStringLiteral("O'Brien"));
        QCOMPARE(dlg.pointList()->selectedItems().size(), 3);
        // Nothing unselected: no exclusions.
        DbReportSelection s = dlg.selection();
        QVERIFY(s.excludedComponents.empty() && s.excludedPoints.empty());
        QVERIFY((s.from == db::CalendarDay{2026, 3, 10}) && (s.to == s.from));
        QVERIFY(s.method.empty());

        const QImage picture = dlg.grab().toImage();
        QVERIFY(picture.save(QStringLiteral(QT_TESTCASE_BUILDDIR "/db_report_date_dialog.png")));

        // The method narrows the lists, which start all selected again.
        dlg.methodBox()->setCurrentText(QStringLiteral("Газ"));
        QCOMPARE(listTexts(dlg.componentList()), (QStringList{"Метан", "Этан"}));
        QCOMPARE(dlg.pointList()->topLevelItemCount(), 2);
        dlg.componentList()->item(1)->setSelected(false);
        dlg.pointList()->topLevelItem(0)->setSelected(false);
        s = dlg.selection();
        QCOMPARE(s.method, std::string("Газ"));
        QCOMPARE(s.excludedComponents, std::vector<std::string>{"Этан"});
        QCOMPARE(s.excludedPoints.size(), std::size_t(1));
        QCOMPARE(s.excludedPoints[0].first, std::string("ГРС-1"));
        QCOMPARE(s.excludedPoints[0].second, std::string("Вход"));
        // Another date: the lists follow it.
        dlg.dateBox()->setDate(QDate(2026, 3, 12));
        QCOMPARE(dlg.componentList()->count(), 0);

        // The report of the first selection, through the report chooser.
        dlg.dateBox()->setDate(QDate(2026, 3, 10));
        dlg.methodBox()->setCurrentIndex(0);
        const Result<DbReport> r =
            gui::makeDbReport(*db_, DbReportKind::Date, dlg.selection(), paths::programFolder());
        QVERIFY2(r.ok(), r.message().c_str());
        QCOMPARE(r->rowCount, std::size_t(5));
        writeAll(*r, "db_report_date");
        QVERIFY(messages.texts.isEmpty());
    }

    void placeReport() {
        CDbReportDlg dlg(DbReportKind::Place, *db_, QDate(2026, 3, 31));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Отчёт для точки отбора"));
        QVERIFY(dlg.pointList() == nullptr);
        // Stations and their points that have results.
        QCOMPARE(dlg.stationBox()->count(), 2);
        dlg.stationBox()->setCurrentText(QStringLiteral("ГРС-1"));
        QCOMPARE(dlg.placeBox()->count(), 2);
        dlg.placeBox()->setCurrentText(QStringLiteral("Выход"));
        // From the first of the month: February's analysis is not in.
        QCOMPARE(dlg.dateBox()->date(), QDate(2026, 3, 1));
        QCOMPARE(listTexts(dlg.componentList()), (QStringList{"Метан", "Этан"}));
        dlg.dateBox()->setDate(QDate(2026, 1, 1));
        const DbReportSelection s = dlg.selection();
        QCOMPARE(s.station, std::string("ГРС-1"));
        QCOMPARE(s.place, std::string("Выход"));
        const Result<DbReport> r =
            gui::makeDbReport(*db_, DbReportKind::Place, s, paths::programFolder());
        QVERIFY2(r.ok(), r.message().c_str());
        QCOMPARE(r->rowCount, std::size_t(5));
        QCOMPARE(r->groups.size(), std::size_t(2));
        writeAll(*r, "db_report_place");
        const QImage picture = dlg.grab().toImage();
        QVERIFY(picture.save(QStringLiteral(QT_TESTCASE_BUILDDIR "/db_report_place_dialog.png")));
    }

    void componentReport() {
        MessageLog messages;
        CDbReportDlg dlg(DbReportKind::Parametr, *db_, QDate(2026, 3, 31));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Отчёт для параметра"));
        QVERIFY(dlg.componentList() == nullptr);
        QCOMPARE(dlg.componentBox()->count(), 3);
        // OK without a component: the message, and the dialog stays.
        dlg.accept();
        QCOMPARE(messages.texts, QStringList{"Необходимо указать компонент"});
        QVERIFY(dlg.result() != QDialog::Accepted);
        dlg.componentBox()->setCurrentText(QStringLiteral("Смесь \"Б\""));
        QCOMPARE(dlg.pointList()->topLevelItemCount(), 1);
        dlg.componentBox()->setCurrentText(QStringLiteral("Метан"));
        QCOMPARE(dlg.pointList()->topLevelItemCount(), 3);
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        const Result<DbReport> r = gui::makeDbReport(*db_, DbReportKind::Parametr, dlg.selection(),
                                                     paths::programFolder());
        QVERIFY2(r.ok(), r.message().c_str());
        QCOMPARE(r->rowCount, std::size_t(4));
        QCOMPARE(r->grandTotals[0].value, std::string("4"));
        writeAll(*r, "db_report_parametr");
    }

    // A laboratory's own definition in the templates folder is used; a
    // broken one is an error that names the line.
    void laboratoryDefinition() {
        QTemporaryDir program;
        const fs::path folder = program.path().toStdString();
        fs::create_directories(folder / "Templates");
        std::ofstream(folder / "Templates" / "date.rpt")
            << "title = Сводка\ncolumn = Parametr | Что\ncolumn = Value | Сколько | %.1f\n";
        DbReportSelection s;
        s.from = s.to = {2026, 3, 10};
        Result<DbReport> r = gui::makeDbReport(*db_, DbReportKind::Date, s, folder);
        QVERIFY2(r.ok(), r.message().c_str());
        QCOMPARE(r->title, std::string("Сводка"));
        QCOMPARE(r->groups.at(0).rows.at(0).at(1), std::string("95.1"));
        std::ofstream(folder / "Templates" / "date.rpt") << "title = Сводка\ncolumn = Луна\n";
        r = gui::makeDbReport(*db_, DbReportKind::Date, s, folder);
        QVERIFY(!r.ok());
        QVERIFY(QString::fromStdString(r.message()).contains(QStringLiteral("date.rpt")));
        QVERIFY(QString::fromStdString(r.message()).contains(QStringLiteral("Строка 2")));
    }

    // A report longer than a page is paged through in its window; the page
    // commands stop where the pages end.
    void longReport() {
        DbReport r;
        r.title = "Отчёт для параметра";
        r.columns = {"Дата", "Метан"};
        r.numeric = {false, true};
        r.groups.emplace_back();
        for (int i = 0; i < 150; ++i)
            r.groups[0].rows.push_back({std::to_string(i + 1), "95.0"});
        r.rowCount = 150;
        gui::CMainFrame frame;
        frame.show();
        gui::CReportWnd* w = gui::showDbReport(&frame, r, QString::fromStdString(r.title));
        QCOMPARE(frame.mdiArea()->activeSubWindow(), w);
        const int count = w->pageCount();
        QVERIFY(count >= 3);
        QCOMPARE(w->currentPage(), 1);
        QVERIFY(!frame.isCommandEnabled(gui::command::kPageFirst));
        QVERIFY(!frame.isCommandEnabled(gui::command::kPagePrevious));
        QVERIFY(frame.runCommand(gui::command::kPageNext));
        QCOMPARE(w->currentPage(), 2);
        QVERIFY(frame.isCommandEnabled(gui::command::kPagePrevious));
        QVERIFY(frame.runCommand(gui::command::kPageLast));
        QCOMPARE(w->currentPage(), count);
        QVERIFY(!frame.isCommandEnabled(gui::command::kPageNext));
        QVERIFY(!frame.isCommandEnabled(gui::command::kPageLast));
        QVERIFY(frame.runCommand(gui::command::kPageFirst));
        QCOMPARE(w->currentPage(), 1);
        w->close();
    }

  private:
    // The report shown in its window in the main window's work area, then
    // written from there as RTF, PDF and CSV; each written file closes the
    // window.
    void writeAll(const DbReport& r, const QString& name) {
        const rtf::RtfDocument doc = dbReportToRtf(r);
        const std::string csvRows = dbReportToCsv(r);
        const QString title = QString::fromStdString(r.title);
        std::vector<gui::FileRequest> asked;
        QString answer;
        gui::ScopedFileChooser chooser([&](const gui::FileRequest& q) {
            asked.push_back(q);
            return answer;
        });
        gui::CMainFrame frame;
        frame.show();
        QPointer<gui::CReportWnd> w = gui::showDbReport(&frame, r, title);
        QVERIFY(!w.isNull());
        QCOMPARE(frame.mdiArea()->activeSubWindow(), w.data());
        QCOMPARE(frame.shownBand(), gui::band::kPrintReport);
        QVERIFY(w->isDatabaseReport());
        QVERIFY(w->pageView());
        QCOMPARE(w->document().richText().plainText(), doc.plainText());
        // One page: zoom, but no page to go to.
        QCOMPARE(w->pageCount(), 1);
        QVERIFY(frame.isCommandEnabled(gui::command::kZoomPage));
        QVERIFY(frame.runCommand(gui::command::kZoomPage));
        for (int c : {gui::command::kPageFirst, gui::command::kPagePrevious,
                      gui::command::kPageNext, gui::command::kPageLast})
            QVERIFY(!frame.isCommandEnabled(c));
        QVERIFY(frame.isCommandEnabled(gui::command::kReportPrint));
        // Cancelled: the window stays.
        QVERIFY(!frame.runCommand(gui::command::kReportSaveAs));
        QCOMPARE(asked.back().filter, QStringLiteral("Отчёт (*.rtf);;PDF (*.pdf);;CSV (*.csv)"));
        QVERIFY(!w.isNull());
        const QString base = QStringLiteral(QT_TESTCASE_BUILDDIR "/") + name;
        for (const char* ext : {".rtf", ".pdf", ".csv"}) {
            if (w.isNull())
                w = gui::showDbReport(&frame, r, title);
            answer = base + QString::fromLatin1(ext);
            QFile::remove(answer);
            QVERIFY(frame.runCommand(gui::command::kReportSaveAs));
            QVERIFY(QFile::exists(answer));
            QTRY_VERIFY(w.isNull());
        }
        QVERIFY(frame.mdiArea()->subWindowList().isEmpty());
        QFile pdf(base + QStringLiteral(".pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
        std::ifstream csv((base + QStringLiteral(".csv")).toStdString(), std::ios::binary);
        std::ostringstream bytes;
        bytes << csv.rdbuf();
        QCOMPARE(bytes.str(), csvRows);
        const Result<rtf::RtfDocument> back =
            rtf::readRtfFile((base + QStringLiteral(".rtf")).toStdString());
        QVERIFY(back.ok());
        QCOMPARE(back->plainText(), doc.plainText());
    }
};

QTEST_MAIN(DbReportDlgTest)
#include "db_report_dlg_test.moc"
