// The report window driven as an operator would: the report of a chromatogram
// made through "Параметры отчёта" (cancelled: no report), shown with the
// report band, holding every peak of the chromatogram; saved as RTF and PDF,
// printed through the printer dialog, looked at page by page; edited, saved
// with the edits and asked about when closed; opened again from its file; the
// automatic report of a recording printed and closed (request 2) or left open
// (3, or when the printer refuses); a missing form; the components' units
// from the analyses database; the report of a real chromatogram (an AIA file
// of another system). The PDFs are read back with pdftotext when poppler is
// there. Pictures of the window and of the PDF's first page are left in the
// build folder.

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QMdiArea>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "app/program_settings.h"
#include "app/text.h"
#include "database/analyses_database.h"
#include "database/catalogue.h"
#include "gui/command_ids.h"
#include "gui/document/child_frame.h"
#include "gui/file_dialogs.h"
#include "gui/main_frame.h"
#include "gui/reports/chromatogram_report.h"
#include "gui/reports/report_printing.h"
#include "gui/reports/report_settings_dlg.h"
#include "gui/reports/report_wnd.h"
#include "gui_test_support.h"
#include "processing/chromatogram_processing.h"
#include "reports/rtf_reader.h"

using namespace zelmora;
using namespace zelmora::gui;
using zelmora::guitest::MessageLog;
namespace fs = std::filesystem;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// The text of a PDF through pdftotext; empty when poppler is not installed.
QString pdfText(const QString& pdf) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        return {};
    QProcess p;
    p.start(tool, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

bool havePoppler() {
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

// The first page of a PDF as a PNG beside it, to be looked at.
void pdfPicture(const QString& pdf, const QString& stem) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (tool.isEmpty())
        return;
    QProcess p;
    p.start(tool, {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
                   QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                   QStringLiteral("1"), QStringLiteral("-singlefile"), pdf, stem});
    p.waitForFinished(30000);
}

QList<CReportWnd*> reportWindows(const CMainFrame& frame) {
    QList<CReportWnd*> list;
    for (QMdiSubWindow* w : frame.mdiArea()->subWindowList())
        if (auto* r = qobject_cast<CReportWnd*>(w))
            list << r;
    return list;
}

// Answers "Параметры отчёта" when it comes up: `edit` changes it, then OK
// or Cancel.
void answerSettings(bool ok, std::function<void(CReportSettingsDlg&)> edit = {}) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, ok, edit] {
        auto* dlg = qobject_cast<CReportSettingsDlg*>(QApplication::activeModalWidget());
        if (dlg == nullptr)
            return;
        timer->stop();
        timer->deleteLater();
        if (edit)
            edit(*dlg);
        ok ? dlg->accept() : dlg->reject();
    });
    timer->start();
}

// Prints into PDF files instead of a printer, and remembers how it was asked.
struct PdfPrinter {
    QString file;
    QList<bool> dialogs;  // withDialog of every print
    bool refuse = false;
    QString reason;
    ScopedPrinterSetup scope{[this](QPrinter& printer, bool withDialog, QWidget*, QString& why) {
        dialogs << withDialog;
        if (refuse) {
            why = reason;
            return false;
        }
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        return true;
    }};
};

// The demo chromatogram as a finished recording leaves it: filtered, marked,
// identified and quantified by the demo method, five peaks.
bool writeProcessedDemo(const fs::path& file) {
    CZelmoraDoc doc;
    fillDemoDocument(doc, "Демо", std::time(nullptr));
    RecordingMessageSink sink;
    if (!doc.reloadMethod(sink))
        return false;
    ProcessChromatogram(doc);
    return doc.peaks.size() == kDemoComponentCount && doc.Write(file, sink, false).ok();
}

// Typing into a widget, Cyrillic letters included (QTest::keyClicks takes
// Latin-1 only).
void type(QWidget* w, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

class ReportWndTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    fs::path demo_;

    fs::path file(const char* name) const { return fs::path(dir_.path().toStdString()) / name; }
    QString qfile(const char* name) const { return q(file(name).string()); }

    static void setCheckViewReport(bool on) {
        ProgramOptions o = programOptions();
        o.checkViewReport = on;
        CProgramSettings::instance().setOptions(o);
    }

    // Every listed peak's row of the form: number, time, height, area,
    // concentration, unit, component.
    static void expectPeakRows(const CZelmoraDoc& doc, const std::string& text) {
        int rows = 0;
        for (const Peak& p : doc.peaks.peaks) {
            if (p.apexTime < 0)
                continue;
            ++rows;
            const std::string row = text::format("%d\t%.3f\t", rows, p.apexTime) +
                                    FormatValue(p.height, 1) + "\t" + FormatValue(p.area, 2) +
                                    "\t" + FormatValue(p.concentration, 0) + "\t";
            QVERIFY2(contains(text, row), (row + "\n" + text).c_str());
            QVERIFY2(contains(text, "\t" + p.componentName + "\t"), p.componentName.c_str());
        }
        QVERIFY(rows > 0);
    }

  private slots:
    void initTestCase() {
        QVERIFY(guitest::startWithDemoMethod());
        demo_ = file("демо.stg");
        QVERIFY(writeProcessedDemo(demo_));
    }

    void chromatogramReportInItsWindow() {
        setCheckViewReport(true);
        MessageLog messages;
        CMainFrame frame;
        frame.show();
        CChildFrame* child = frame.openDocument(demo_);
        QVERIFY(child != nullptr);
        QVERIFY(frame.isCommandEnabled(command::kChromatogramReport));

        // Cancelling "Параметры отчёта" makes no report.
        answerSettings(false);
        QVERIFY(!frame.runCommand(command::kChromatogramReport));
        QVERIFY(reportWindows(frame).isEmpty());

        // Without the peak table's section the table goes; the picture size
        // is the one chosen.
        answerSettings(true, [](CReportSettingsDlg& d) {
            d.sectionBox(8)->setChecked(false);
            d.chartSizeGroup()->button(1)->setChecked(true);
            QVERIFY(!d.componentList()->isEnabled());
            d.calibrationBox()->setChecked(true);
            QVERIFY(d.componentList()->isEnabled());
            d.calibrationBox()->setChecked(false);
        });
        QVERIFY(frame.runCommand(command::kChromatogramReport));
        QCOMPARE(reportWindows(frame).size(), 1);
        CReportWnd* noTable = reportWindows(frame).front();
        QVERIFY(!contains(noTable->document().richText().plainText(), "Метан\t"));
        QVERIFY(documentMethod(child->document())->report.sections[8]);  // the method keeps its own
        noTable->close();
        QCoreApplication::processEvents();
        QVERIFY(reportWindows(frame).isEmpty());

        frame.mdiArea()->setActiveSubWindow(child);
        answerSettings(true);
        QVERIFY(frame.runCommand(command::kChromatogramReport));
        CReportWnd* w = reportWindows(frame).front();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(frame.mdiArea()->activeSubWindow(), w);
        QCOMPARE(w->windowTitle().remove(QStringLiteral("[*]")),
                 QStringLiteral("Отчёт по ") + child->titleText());
        // The report band, the report's commands; the chromatogram's hide.
        QCOMPARE(frame.shownBand(), band::kReport);
        for (int c : {command::kReportSaveAs, command::kReportPrint, command::kFilePrintPreview}) {
            QVERIFY2(frame.action(c)->isVisible() && frame.action(c)->isEnabled(),
                     qPrintable(QString::number(c)));
        }
        QVERIFY(!frame.action(command::kFileSave)->isVisible());
        QVERIFY(!frame.action(command::kZoomNormal)->isEnabled());

        const std::string text = w->document().richText().plainText();
        expectPeakRows(child->document(), text);
        QVERIFY2(!contains(text, "__"), text.c_str());
        QVERIFY(contains(text, kDemoSampleText));
        QVERIFY(contains(text, "демо.stg"));
        QVERIFY(contains(text, "внутренняя нормализация"));
        bool picture = false;
        for (const rtf::Element& e : w->document().richText().elements)
            picture = picture || e.kind == rtf::ElementKind::Picture;
        QVERIFY(picture);
        QVERIFY(w->pageCount() >= 1);
        QCoreApplication::processEvents();  // the band's layout
        QVERIFY(w->grab().save(QStringLiteral(QT_TESTCASE_BUILDDIR "/report_window.png")));
        QVERIFY(frame.grab().save(QStringLiteral(QT_TESTCASE_BUILDDIR "/report_main_window.png")));

        // "&Сохранить в формате...": RTF, or PDF for a ".pdf" name.
        QString answer;
        std::vector<FileRequest> asked;
        ScopedFileChooser chooser([&](const FileRequest& r) {
            asked.push_back(r);
            return answer;
        });
        QVERIFY(!frame.runCommand(command::kReportSaveAs));  // cancelled
        QCOMPARE(asked.size(), std::size_t(1));
        QVERIFY(asked[0].save);
        QCOMPARE(asked[0].filter, QStringLiteral("Отчёт (*.rtf);;PDF (*.pdf)"));
        QVERIFY(asked[0].start.endsWith(QStringLiteral(".rtf")));
        answer = qfile("отчёт.rtf");
        QVERIFY(frame.runCommand(command::kReportSaveAs));
        const Result<rtf::RtfDocument> saved = rtf::readRtfFile(file("отчёт.rtf"));
        QVERIFY2(saved.ok(), saved.message().c_str());
        expectPeakRows(child->document(), saved->plainText());
        QCOMPARE(w->document().pathName(), file("отчёт.rtf"));

        const QString pdf = QStringLiteral(QT_TESTCASE_BUILDDIR "/chromatogram_report.pdf");
        QFile::remove(pdf);
        answer = pdf;
        QVERIFY(frame.runCommand(command::kReportSaveAs));
        QFile written(pdf);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.read(5) == "%PDF-");
        QVERIFY(written.size() > 20000);  // the chromatogram picture is in it
        if (havePoppler()) {
            const QString t = pdfText(pdf);
            for (const Peak& p : child->document().peaks.peaks) {
                QVERIFY2(t.contains(q(p.componentName)), qPrintable(t));
                QVERIFY2(t.contains(q(text::format("%.3f", p.apexTime))), qPrintable(t));
            }
            QVERIFY(t.contains(q(kDemoSampleText)));
            pdfPicture(pdf, QStringLiteral(QT_TESTCASE_BUILDDIR "/chromatogram_report"));
        }
        // A folder that is not there: the reason, the report keeps its file.
        answer = qfile("нет/отчёт.rtf");
        QVERIFY(!frame.runCommand(command::kReportSaveAs));
        QVERIFY(messages.saw(QStringLiteral("Не удалось записать отчёт")));
        QCOMPARE(w->document().pathName(), file("отчёт.rtf"));

        // Closing the chromatogram leaves its report open.
        child->setCloseConfirmed(true);
        QVERIFY(child->close());
        QCoreApplication::processEvents();
        QVERIFY(frame.chromatograms().isEmpty());
        QCOMPARE(reportWindows(frame).size(), 1);
        QVERIFY(w->close());
        QCoreApplication::processEvents();
        QCOMPARE(frame.shownBand(), band::kNoDocument);
    }

    void printingAndPages() {
        setCheckViewReport(false);
        MessageLog messages;
        CMainFrame frame;
        frame.show();
        CChildFrame* child = frame.openDocument(demo_);
        QVERIFY(child != nullptr);
        QVERIFY(frame.runCommand(command::kChromatogramReport));  // no dialog now
        CReportWnd* w = reportWindows(frame).front();

        // "&Печатать" through the printer dialog.
        PdfPrinter printer;
        printer.file = QStringLiteral(QT_TESTCASE_BUILDDIR "/printed_report.pdf");
        QFile::remove(printer.file);
        QVERIFY(frame.runCommand(command::kReportPrint));
        QCOMPARE(printer.dialogs, QList<bool>{true});
        QVERIFY(QFileInfo(printer.file).size() > 20000);
        if (havePoppler()) {
            const QString t = pdfText(printer.file);
            QVERIFY(t.contains(QStringLiteral("Этан")));
            QVERIFY(t.contains(QStringLiteral("Отчёт о хроматографическом анализе")));
        }
        // The operator cancelling the dialog is no failure; a printer that
        // refuses is said.
        printer.refuse = true;
        QVERIFY(!frame.runCommand(command::kReportPrint));
        QVERIFY(messages.texts.isEmpty());
        printer.reason = QStringLiteral("Принтер по умолчанию не установлен.");
        QVERIFY(!w->print());
        QVERIFY(messages.saw(QStringLiteral("Отчёт не напечатан: Принтер")));
        messages.texts.clear();

        // "Предварительный просмотр": the pages, their zoom and navigation.
        QVERIFY(frame.runCommand(command::kFilePrintPreview));
        QVERIFY(w->pageView());
        QVERIFY(frame.isCommandChecked(command::kFilePrintPreview));
        QVERIFY(frame.isCommandEnabled(command::kZoomNormal));
        QVERIFY(frame.runCommand(command::kZoomNormal));
        QCOMPARE(w->zoomFactor(), 1.0);
        QVERIFY(frame.runCommand(command::kZoomPage));
        QVERIFY(w->zoomFactor() < 1.0);
        QCOMPARE(w->currentPage(), 1);
        QVERIFY(w->grab().save(QStringLiteral(QT_TESTCASE_BUILDDIR "/report_pages.png")));
        QVERIFY(frame.runCommand(command::kFilePrintPreview));
        QVERIFY(!w->pageView());
        QVERIFY(!frame.isCommandEnabled(command::kZoomNormal));
        w->close();

        // A long report has several pages to go through.
        rtf::RtfDocument longReport;
        for (int i = 0; i < 200; ++i)
            longReport.appendText(text::format("Строка %d отчёта\n", i + 1), {});
        CReportWnd* pages = showReport(&frame, std::move(longReport), QStringLiteral("Длинный"));
        QCOMPARE(frame.mdiArea()->activeSubWindow(), pages);
        const int count = pages->pageCount();
        QVERIFY(count >= 3);
        pages->setPageView(true);
        QCOMPARE(pages->pageCount(), count);
        QVERIFY(frame.runCommand(command::kPageNext));
        QCOMPARE(pages->currentPage(), 2);
        QVERIFY(frame.runCommand(command::kPageLast));
        QCOMPARE(pages->currentPage(), count);
        QVERIFY(frame.runCommand(command::kPageNext));  // stays on the last
        QCOMPARE(pages->currentPage(), count);
        QVERIFY(frame.runCommand(command::kPagePrevious));
        QCOMPARE(pages->currentPage(), count - 1);
        QVERIFY(frame.runCommand(command::kPageFirst));
        QCOMPARE(pages->currentPage(), 1);
        printer.refuse = false;
        printer.dialogs.clear();
        QFile::remove(printer.file);
        QVERIFY(pages->print());
        if (havePoppler()) {
            const QString t = pdfText(printer.file);
            QVERIFY(t.contains(QStringLiteral("Строка 1 отчёта")));
            QVERIFY(t.contains(QStringLiteral("Строка 200 отчёта")));
            QCOMPARE(t.count(QChar('\f')), count);  // one form feed per page
        }
        frame.mdiArea()->closeAllSubWindows();
    }

    void automaticReportOfARecording() {
        setCheckViewReport(true);  // never asked for an automatic report
        MessageLog messages;
        CMainFrame frame;
        frame.show();
        PdfPrinter printer;
        printer.file = qfile("авто.pdf");

        // The chromatogram of a finished recording carries the request; its
        // window's first display makes the report.
        const auto openRecorded = [&](int request) {
            auto* child = new CChildFrame(&frame);
            if (!child->openFile(demo_))
                return static_cast<CChildFrame*>(nullptr);
            child->document().reportState = request;
            frame.mdiArea()->addSubWindow(child);
            child->show();
            QTest::qWait(50);
            return child;
        };

        // 2: printed without the dialog and closed.
        CChildFrame* c2 = openRecorded(kReportPrintAndClose);
        QVERIFY(c2 != nullptr);
        QTRY_COMPARE(printer.dialogs, QList<bool>{false});
        QVERIFY(QFileInfo(printer.file).size() > 20000);
        QCoreApplication::processEvents();
        QVERIFY(reportWindows(frame).isEmpty());
        QCOMPARE(c2->document().reportState, 0);  // consumed

        // 3: printed and left open; 1: open, not printed.
        QFile::remove(printer.file);
        openRecorded(kReportGenerateAndPrint);
        QTRY_COMPARE(reportWindows(frame).size(), 1);
        QCOMPARE(printer.dialogs.size(), 2);
        QVERIFY(QFile::exists(printer.file));
        openRecorded(kReportGenerate);
        QTRY_COMPARE(reportWindows(frame).size(), 2);
        QCOMPARE(printer.dialogs.size(), 2);

        // 2 with no printer: the report stays open and nobody is asked.
        printer.refuse = true;
        printer.reason = QStringLiteral("Принтер по умолчанию не установлен.");
        const ReportOutcome kept = printReportAutomatically(c2, c2->document(), c2->titleText());
        QVERIFY(kept.made && !kept.printed);
        QVERIFY(kept.window != nullptr);
        QCOMPARE(reportWindows(frame).size(), 3);
        QVERIFY2(messages.texts.isEmpty(), qPrintable(messages.texts.join('\n')));
        frame.mdiArea()->closeAllSubWindows();
    }

    void editedReportIsSavedWithTheEdits() {
        MessageLog messages;
        CMainFrame frame;
        frame.show();
        const Result<rtf::RtfDocument> form = rtf::readRtfFile(file("отчёт.rtf"));
        QVERIFY(form.ok());
        std::size_t rows = 0;
        for (const rtf::Element& e : form->elements)
            rows += e.kind == rtf::ElementKind::RowEnd;
        QVERIFY(rows >= 6);  // the peak table's head and its five peaks
        CReportWnd* w = showReport(&frame, *form, QStringLiteral("Правка"));
        QVERIFY(!w->isWindowModified());
        // "Отменить" has only the operator's edits to undo.
        QVERIFY(!w->document().text()->isUndoAvailable());

        QTextCursor cursor(w->document().text());
        cursor.movePosition(QTextCursor::Start);
        w->editor()->setTextCursor(cursor);
        type(w->editor(), QStringLiteral("Проверено: "));
        QVERIFY(w->isWindowModified());
        // Closing asks; Cancel keeps the window, and so does the program.
        messages.answers = {QMessageBox::Cancel, QMessageBox::Cancel};
        QVERIFY(!w->close());
        QVERIFY(!frame.queryClose());
        QCOMPARE(messages.texts.size(), 2);
        QVERIFY(
            messages.texts[0].contains(QStringLiteral("Сохранить изменения в отчёте «Правка»")));

        QVERIFY(w->saveTo(file("правка.rtf")));
        QVERIFY(!w->isWindowModified());
        const Result<rtf::RtfDocument> back = rtf::readRtfFile(file("правка.rtf"));
        QVERIFY2(back.ok(), back.message().c_str());
        const std::string text = back->plainText();
        QVERIFY2(text.rfind("Проверено: Отчёт о хроматографическом анализе", 0) == 0, text.c_str());
        std::size_t rowsBack = 0;
        bool picture = false;
        for (const rtf::Element& e : back->elements) {
            rowsBack += e.kind == rtf::ElementKind::RowEnd;
            picture = picture || e.kind == rtf::ElementKind::Picture;
        }
        QCOMPARE(rowsBack, rows);
        QVERIFY(picture);
        QVERIFY(contains(text, "Этан\t"));
        // Bold stays bold: the title of the form.
        bool bold = false;
        for (const rtf::Element& e : back->elements)
            if (e.kind == rtf::ElementKind::Text && e.ch == U'О')
                bold = bold || back->charFormat(e.charFormat).bold;
        QVERIFY(bold);

        // Saved: it closes without asking; edited again and not saved: "No".
        type(w->editor(), QStringLiteral("!"));
        // The program ending with nobody to answer keeps the edits as a copy.
        QVERIFY(w->keepChangesUnattended());
        const Result<rtf::RtfDocument> kept =
            rtf::readRtfFile(file("правка (несохранённые изменения).rtf"));
        QVERIFY(kept.ok());
        QVERIFY(contains(kept->plainText(), "Проверено: !"));
        messages.texts.clear();
        messages.answers = {QMessageBox::No};
        QVERIFY(w->close());
        QCOMPARE(messages.texts.size(), 1);
        const Result<rtf::RtfDocument> unchanged = rtf::readRtfFile(file("правка.rtf"));
        QVERIFY(!contains(unchanged->plainText(), "Проверено: !"));
    }

    void savedReportsOpenAgain() {
        MessageLog messages;
        CMainFrame frame;
        frame.show();
        QVERIFY(frame.isCommandEnabled(command::kOpenReport));
        QString answer = qfile("отчёт.rtf");
        ScopedFileChooser chooser([&](const FileRequest& r) {
            return r.filter.contains(QStringLiteral("*.rtf")) ? answer : QString();
        });
        QVERIFY(frame.runCommand(command::kOpenReport));
        QCOMPARE(reportWindows(frame).size(), 1);
        CReportWnd* w = reportWindows(frame).front();
        QCOMPARE(w->title(), QStringLiteral("отчёт.rtf"));
        QCOMPARE(w->document().pathName(), file("отчёт.rtf"));
        QVERIFY(contains(w->document().richText().plainText(), "Этан\t"));
        QCOMPARE(frame.shownBand(), band::kReport);

        // Given on the command line (or dropped on the window): the same.
        QVERIFY(frame.openAnyFile(file("правка.rtf")));
        QCOMPARE(reportWindows(frame).size(), 2);
        QCOMPARE(frame.mdiArea()->activeSubWindow()->windowTitle(),
                 QStringLiteral("правка.rtf[*]"));

        // Not a report: the file is named, no window.
        {
            QFile bad(qfile("плохой.rtf"));
            QVERIFY(bad.open(QIODevice::WriteOnly));
            bad.write("PK\x03\x04 not a report");
        }
        answer = qfile("плохой.rtf");
        QVERIFY(!frame.runCommand(command::kOpenReport));
        QVERIFY(!frame.openAnyFile(file("плохой.rtf")));
        QCOMPARE(reportWindows(frame).size(), 2);
        QVERIFY(messages.saw(QStringLiteral("Не удалось открыть отчёт")));
        QVERIFY(messages.saw(QStringLiteral("плохой.rtf")));
        frame.mdiArea()->closeAllSubWindows();
    }

    void missingFormAndDatabaseUnits() {
        CZelmoraDoc doc;
        RecordingMessageSink sink;
        QVERIFY(doc.OnOpenDocument(demo_, sink));

        // No form: a failure naming it, no report.
        ChromatogramReportContext none;
        none.programFolder = file("нет");
        const Result<rtf::RtfDocument> missing =
            makeChromatogramReport(doc, documentMethod(doc)->report, none);
        QVERIFY(!missing.ok());
        QVERIFY2(contains(missing.message(), "report.rpt"), missing.message().c_str());

        // The units of the components from the analyses database; a
        // component it does not know gets blanks.
        db::CAnalysesDatabase database(file("units.db"));
        QVERIFY(database.create());
        QVERIFY(db::addParametr(database.connection(), "ЭТАН", "мг/м3", 0).ok());
        QVERIFY(!databaseUnits());
        setReportDatabase(&database);
        ChromatogramReportContext context = programReportContext();
        QVERIFY(context.unitOf);
        QVERIFY(context.unitOf("Этан") == std::optional<std::string>("мг/м3"));
        QVERIFY(!context.unitOf("Пропан").has_value());
        const Result<rtf::RtfDocument> made =
            makeChromatogramReport(doc, documentMethod(doc)->report, context);
        setReportDatabase(nullptr);
        QVERIFY(made.ok());
        QVERIFY(contains(made->plainText(), "мг/м3"));
        database.close();
        QVERIFY(!databaseUnits());
    }

    void realChromatogramReport() {
        MessageLog messages;
        CMainFrame frame;
        frame.show();
        CChildFrame* child = frame.importDocument(ZELMORA_TEST_DATA "/aia/SHMDZU1.CDF");
        QVERIFY(child != nullptr);
        const CZelmoraDoc& doc = child->document();
        QVERIFY(doc.peaks.size() > 0);
        const ReportOutcome made =
            openChromatogramReport(child, child->document(), child->titleText(), kReportGenerate);
        QVERIFY(made.made && made.window != nullptr);
        const std::string text = made.window->document().richText().plainText();
        expectPeakRows(doc, text);
        const QString pdf = QStringLiteral(QT_TESTCASE_BUILDDIR "/real_chromatogram_report.pdf");
        QVERIFY(made.window->saveTo(pdf.toStdString()));
        if (havePoppler()) {
            const QString t = pdfText(pdf);
            for (const Peak& p : doc.peaks.peaks)
                QVERIFY2(t.contains(q(text::format("%.3f", p.apexTime))), qPrintable(t));
            pdfPicture(pdf, QStringLiteral(QT_TESTCASE_BUILDDIR "/real_chromatogram_report"));
        }
        QVERIFY(messages.texts.isEmpty());
        frame.mdiArea()->closeAllSubWindows();
    }
};

QTEST_MAIN(ReportWndTest)
#include "report_wnd_test.moc"
