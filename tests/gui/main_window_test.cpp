// The main window with chromatogram windows: one document band for the kind
// of the active window, commands of missing windows shown disabled, the
// recent files, opening (also a damaged file, dropped files and the command
// line), saving, the close rules and the routing of commands to the
// chromatogram's document.

#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolBar>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "app/program_settings.h"
#include "app/settings_store.h"
#include "gui/calc/prirod_gase_dlg.h"
#include "gui/command_ids.h"
#include "gui/document/child_frame.h"
#include "gui/document/zelmora_view.h"
#include "gui/file_dialogs.h"
#include "gui/main_frame.h"
#include "gui/method/mtd_filtering_pg.h"
#include "gui/method/mtd_peeks_pg.h"
#include "gui/method/single_page_sheet.h"
#include "gui/number_edit.h"
#include "gui/reports/stat_wnd.h"
#include "gui/zelmora_app.h"
#include "gui_test_support.h"
#include "instruments/device_manager.h"
#include "method/document_method.h"
#include "processing/chromatogram_commands.h"
#include "processing/peak_integration.h"

namespace fs = std::filesystem;
using zelmora::gui::CChildFrame;
using zelmora::gui::CMainFrame;
using zelmora::guitest::MessageLog;
namespace command = zelmora::gui::command;
namespace band = zelmora::gui::band;

namespace {

fs::path path(const QTemporaryDir& dir, const char* name) {
    return fs::path(dir.path().toStdString()) / name;
}

// The band that is not hidden, 0 when none or several are.
int onlyShownBand(const CMainFrame& frame) {
    int shown = 0;
    for (int b : band::kAll) {
        if (!frame.band(b)->isHidden()) {
            if (shown != 0)
                return 0;
            shown = b;
        }
    }
    return shown;
}

bool inSomeMenu(QAction* a) {
    for (QObject* o : a->associatedObjects()) {
        if (qobject_cast<QMenu*>(o) != nullptr)
            return true;
    }
    return false;
}

std::string fileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QVERIFY(zelmora::guitest::startWithDemoMethod()); }

    void oneBandForTheKindOfTheActiveWindow() {
        QTemporaryDir dir;
        const fs::path file = path(dir, "a.stg");
        QVERIFY(zelmora::guitest::writeChromatogram(file, "Демо"));
        CMainFrame frame;
        frame.show();
        QCOMPARE(onlyShownBand(frame), band::kNoDocument);
        QVERIFY(frame.action(command::kFileSave)->isVisible() == false);

        CChildFrame* child = frame.openDocument(file);
        QVERIFY(child != nullptr);
        QCOMPARE(frame.activeChromatogram(), child);
        QCOMPARE(onlyShownBand(frame), band::kChromatogram);
        QCOMPARE(frame.shownBand(), band::kChromatogram);
        QVERIFY(frame.action(command::kFileSave)->isVisible());
        QVERIFY(frame.action(command::kFileSave)->isEnabled());
        QVERIFY(frame.windowTitle().contains(QStringLiteral("a; Метод: Демо")));

        // The chromatogram band holds its buttons in order, separators between.
        const QList<QAction*> buttons = frame.band(band::kChromatogram)->actions();
        const auto expected = band::buttons(band::kChromatogram);
        QCOMPARE(buttons.size(), static_cast<qsizetype>(expected.size()));
        for (qsizetype i = 0; i < buttons.size(); ++i) {
            if (expected[i] == 0)
                QVERIFY(buttons[i]->isSeparator());
            else
                QCOMPARE(buttons[i]->data().toInt(), expected[i]);
        }

        // Opening the same file again activates its window.
        QCOMPARE(frame.openDocument(file), child);
        QCOMPARE(frame.mdiArea()->subWindowList().size(), 1);

        QVERIFY(child->close());
        QCoreApplication::processEvents();
        QVERIFY(frame.chromatograms().isEmpty());
        QCOMPARE(onlyShownBand(frame), band::kNoDocument);
        QVERIFY(!frame.action(command::kFileSave)->isVisible());
        QCOMPARE(frame.windowTitle(), QStringLiteral("Zelmora"));
    }

    void naturalGasWindowIsOneWindow() {
        CMainFrame frame;
        frame.show();
        frame.updateCommandStates();
        QVERIFY(frame.action(command::kNaturalGas)->isEnabled());
        QVERIFY(frame.runCommand(command::kNaturalGas));
        zelmora::gui::CPrirodGaseDlg* first = zelmora::gui::naturalGasWindow();
        QVERIFY(first != nullptr && first->isVisible());
        QVERIFY(frame.runCommand(command::kNaturalGas));
        QCOMPARE(zelmora::gui::naturalGasWindow(), first);
        // The statistics window the same way; the database reports are there.
        QVERIFY(frame.action(command::kStatistics)->isEnabled());
        QVERIFY(frame.runCommand(command::kStatistics));
        zelmora::gui::CStatWnd* statistics = zelmora::gui::statisticsWindow();
        QVERIFY(statistics != nullptr && statistics->isVisible());
        QVERIFY(frame.runCommand(command::kStatistics));
        QCOMPARE(zelmora::gui::statisticsWindow(), statistics);
        statistics->close();
        for (int c : {command::kReportForPoint, command::kReportForParam, command::kReportForDate})
            QVERIFY(frame.action(c)->isEnabled() && inSomeMenu(frame.action(c)));
    }

    void specialCalculationCommands() {
        CMainFrame frame;
        frame.show();
        const bool before = zelmora::programOptions().transformOil;
        zelmora::CProgramSettings::instance().update(
            [](zelmora::ProgramOptions& o) { o.transformOil = false; });
        frame.updateCommandStates();
        QVERIFY(frame.action(command::kCombine)->isEnabled());
        QVERIFY(frame.action(command::kDensities)->isEnabled());
        // The transformer-oil calculation only while its option is on.
        QVERIFY(!frame.action(command::kTransformerOil)->isEnabled());
        QVERIFY(!frame.runCommand(command::kTransformerOil));
        zelmora::CProgramSettings::instance().update(
            [](zelmora::ProgramOptions& o) { o.transformOil = true; });
        frame.updateCommandStates();
        QVERIFY(frame.action(command::kTransformerOil)->isEnabled());
        zelmora::CProgramSettings::instance().update(
            [before](zelmora::ProgramOptions& o) { o.transformOil = before; });
    }

    void commandsOfMissingWindowsAreShownDisabled() {
        CMainFrame frame;
        frame.show();
        frame.updateCommandStates();
        for (int c : {command::kAnalyses, command::kSamplingPoints, command::kComponents,
                      command::kNewAnalysis, command::kConnection}) {
            QAction* a = frame.action(c);
            QVERIFY2(a != nullptr, qPrintable(QString::number(c)));
            QVERIFY2(a->isVisible() && inSomeMenu(a), qPrintable(a->text()));
            QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
            QVERIFY(!frame.runCommand(c));
        }
        QVERIFY(frame.action(command::kOptions)->isEnabled());
        QVERIFY(frame.action(command::kMethodOpen)->isEnabled());
        QVERIFY(frame.action(command::kMethodNew)->isEnabled());
        QVERIFY(frame.action(command::kFileOpen)->isEnabled());
        QCOMPARE(frame.action(command::kFileOpen)->shortcut(),
                 QKeySequence(QStringLiteral("Ctrl+O")));
        // Band buttons of windows that do not exist yet are there, disabled.
        QAction* stop = frame.action(command::kStopRecording);
        QVERIFY(frame.band(band::kRecording)->actions().contains(stop));
        QVERIFY(!stop->isEnabled());
        // The queue's buttons show only while the queue is in use.
        QVERIFY(!frame.action(command::kQueue)->isVisible());
        // The status bar panes are wide enough for their longest usual texts.
        const QFontMetrics fm(frame.spanPane()->font());
        QVERIFY(frame.spanPane()->minimumWidth() >
                fm.horizontalAdvance(QStringLiteral("[1000.80000 мВ 100.90 мин]")));
        QVERIFY(frame.cursorPane()->minimumWidth() >
                fm.horizontalAdvance(QStringLiteral("1000.8 мВ; 100.90 мин")));
    }

    void recentFilesFollowOpeningAndStayInTheSettings() {
        QTemporaryDir dir;
        std::vector<fs::path> files;
        for (const char* name : {"r1.stg", "r2.stg", "r3.stg", "r4.stg", "r5.stg"}) {
            files.push_back(path(dir, name));
            QVERIFY(zelmora::guitest::writeChromatogram(files.back(), "Демо"));
        }
        {
            CMainFrame frame;
            for (const fs::path& f : files)
                QVERIFY(frame.openDocument(f) != nullptr);
            QVERIFY(frame.openDocument(files[1]) != nullptr);  // back to the top
            const auto& list = frame.recentFiles().files();
            QCOMPARE(list.size(), std::size_t{4});
            QCOMPARE(list[0], files[1]);
            QCOMPARE(list[1], files[4]);
            QCOMPARE(list[3], files[2]);  // r1 fell off
            QAction* first = frame.action(command::kRecentFile1);
            QVERIFY(first->isVisible() && first->isEnabled());
            QVERIFY(first->text().startsWith(QStringLiteral("&1 ")));
            QVERIFY(first->text().endsWith(QStringLiteral("r2.stg")));
            frame.mdiArea()->closeAllSubWindows();
        }
        QVERIFY(zelmora::userSettings().flush());
        {
            zelmora::SettingsStore reread(zelmora::userSettings().file(), false);
            QCOMPARE(reread.load(), zelmora::SettingsStore::LoadStatus::Loaded);
            zelmora::gui::RecentFileList list(reread);
            list.load();
            QCOMPARE(list.files().size(), std::size_t{4});
            QCOMPARE(list.files()[0], files[1]);
        }
        // A recent file that cannot be opened any more leaves the list.
        CMainFrame frame;
        QCOMPARE(frame.recentFiles().files()[0], files[1]);
        fs::remove(files[1]);
        MessageLog log;
        QVERIFY(!frame.runCommand(command::kRecentFile1));
        QVERIFY(frame.chromatograms().isEmpty());
        QVERIFY(log.saw(QStringLiteral("Ошибка открытия хроматограммы")));
        QCOMPARE(frame.recentFiles().files().size(), std::size_t{3});
        QCOMPARE(frame.recentFiles().files()[0], files[4]);
    }

    void damagedFileShowsTheErrorAndOpensNoWindow() {
        QTemporaryDir dir;
        const fs::path file = path(dir, "damaged.stg");
        {
            std::ofstream out(file, std::ios::binary);
            out << "not a compound file at all";
        }
        MessageLog log;
        CMainFrame frame;
        QVERIFY(frame.openDocument(file) == nullptr);
        QCOMPARE(log.texts.size(), 1);
        QCOMPARE(log.texts[0], QStringLiteral("Ошибка открытия хроматограммы %1.")
                                   .arg(QString::fromStdString(file.string())));
        QVERIFY(frame.chromatograms().isEmpty());
        QCOMPARE(frame.shownBand(), band::kNoDocument);
        QVERIFY(frame.recentFiles().files().empty() || frame.recentFiles().files()[0] != file);

        // A damaged file named on the command line stops the start.
        auto& qt = *static_cast<QApplication*>(QCoreApplication::instance());
        zelmora::gui::CZelmoraApp app(qt);
        QVERIFY(!app.openCommandLineFiles({QString::fromStdString(file.string())}));
        QCOMPARE(log.texts.size(), 2);
        QVERIFY(app.mainFrame().chromatograms().isEmpty());
    }

    void droppedFilesAreOpened() {
        QTemporaryDir dir;
        const fs::path a = path(dir, "drop1.stg");
        const fs::path b = path(dir, "drop2.stg");
        QVERIFY(zelmora::guitest::writeChromatogram(a, "Демо"));
        QVERIFY(zelmora::guitest::writeChromatogram(b, "Демо"));
        CMainFrame frame;
        frame.show();
        QVERIFY(frame.acceptDrops());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(a.string())),
                      QUrl::fromLocalFile(QString::fromStdString(b.string()))});
        const QPoint at = frame.rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&frame, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&frame, &drop);
        QCOMPARE(frame.chromatograms().size(), 2);
        QCOMPARE(frame.activeChromatogram()->document().pathName(), b);
    }

    void modifiedChromatogramAsksBeforeClosing() {
        QTemporaryDir dir;
        const fs::path file = path(dir, "m.stg");
        QVERIFY(zelmora::guitest::writeChromatogram(file, "Демо"));
        const std::string before = fileBytes(file);
        CMainFrame frame;
        frame.show();
        CChildFrame* child = frame.openDocument(file);
        QVERIFY(child != nullptr);
        QVERIFY(!child->isWindowModified());
        QVERIFY(child->document().peakCount() == 0);
        // Marking shows its sheet first, with "Подобрать" over this
        // chromatogram's trace; OK takes the settings as they stand.
        bool offered = false;
        child->prompts().runDialog = [&offered](QDialog& d) {
            const auto* page = d.findChild<zelmora::gui::CMtdPeeksPg*>();
            offered = page != nullptr && !page->proposeButton()->isHidden() &&
                      page->proposeButton()->isEnabled();
            return static_cast<zelmora::gui::CSinglePageSheet&>(d).tryAccept() ? QDialog::Accepted
                                                                               : QDialog::Rejected;
        };
        QVERIFY(frame.runCommand(command::kAutoMark));
        QVERIFY(offered);
        QVERIFY(child->document().isModified());
        QVERIFY(child->isWindowModified());
        QVERIFY(child->windowTitle().contains(QStringLiteral("[*]")));
        QVERIFY(child->document().peakCount() > 0);

        MessageLog log;
        log.answers = {QMessageBox::Cancel};
        QVERIFY(!child->close());
        QCOMPARE(frame.chromatograms().size(), 1);
        QVERIFY(log.saw(QStringLiteral("Сохранить изменения в m; Метод: Демо?")));
        // The program does not end either while the person keeps the window.
        log.answers = {QMessageBox::Cancel};
        QVERIFY(!frame.close());
        QCOMPARE(frame.chromatograms().size(), 1);
        QCOMPARE(fileBytes(file), before);

        // "Да" writes the file, then the window closes.
        log.answers = {QMessageBox::Yes};
        QVERIFY(child->close());
        QCoreApplication::processEvents();
        QVERIFY(frame.chromatograms().isEmpty());
        QVERIFY(fileBytes(file) != before);

        // "Нет" gives the changes up.
        child = frame.openDocument(file);
        QVERIFY(child != nullptr);
        const std::size_t peaks = child->document().peakCount();
        QVERIFY(peaks > 0);
        const std::string saved = fileBytes(file);
        QVERIFY(frame.runCommand(command::kDeleteAll));
        child->document().setModified(true);
        log.answers = {QMessageBox::No};
        QVERIFY(frame.close());
        QCOMPARE(fileBytes(file), saved);
    }

    void saveAsProposesTheTitleAndKeepsTheChromatogramExtension() {
        QCOMPARE(CChildFrame::proposedFileName(QStringLiteral("проба 1; Метод: Демо")),
                 QStringLiteral("проба"));
        QCOMPARE(CChildFrame::proposedFileName(QStringLiteral("a#b")), QStringLiteral("a"));
        QCOMPARE(CChildFrame::proposedFileName(QStringLiteral("plain")), QStringLiteral("plain"));

        QTemporaryDir dir;
        const fs::path file = path(dir, "orig.stg");
        QVERIFY(zelmora::guitest::writeChromatogram(file, "Демо"));
        CMainFrame frame;
        CChildFrame* child = frame.openDocument(file);
        QVERIFY(child != nullptr);
        QString proposed;
        const fs::path target = path(dir, "copy");
        zelmora::gui::ScopedFileChooser chooser([&](const zelmora::gui::FileRequest& r) {
            proposed = r.start;
            return QString::fromStdString(target.string());
        });
        QVERIFY(frame.runCommand(command::kFileSaveAs));
        QVERIFY(proposed.endsWith(QStringLiteral("orig.stg")));
        const fs::path written = path(dir, "copy.stg");
        QVERIFY(fs::exists(written));
        QCOMPARE(child->document().pathName(), written);
        QVERIFY(child->windowTitle().startsWith(QStringLiteral("copy; Метод: Демо")));
        QCOMPARE(frame.recentFiles().files()[0], written);

        // A read-only file is saved under a new name instead.
        fs::permissions(written, fs::perms::owner_write, fs::perm_options::remove);
        const fs::path other = path(dir, "other.stg");
        zelmora::gui::ScopedFileChooser second([&](const zelmora::gui::FileRequest&) {
            return QString::fromStdString(other.string());
        });
        if (::access(written.c_str(), W_OK) != 0) {  // not when the tests run as root
            QVERIFY(frame.runCommand(command::kFileSave));
            QVERIFY(fs::exists(other));
            QCOMPARE(child->document().pathName(), other);
        }
        // Cancelling the dialog saves nothing.
        zelmora::gui::ScopedFileChooser cancel(
            [](const zelmora::gui::FileRequest&) { return QString(); });
        QVERIFY(!frame.runCommand(command::kFileSaveAs));
    }

    void commandsFollowTheDocumentAndItsMethod() {
        QTemporaryDir dir;
        const fs::path withMethod = path(dir, "with.stg");
        const fs::path without = path(dir, "without.stg");
        QVERIFY(zelmora::guitest::writeChromatogram(withMethod, "Демо"));
        QVERIFY(zelmora::guitest::writeChromatogram(without, "Нет такого метода"));
        CMainFrame frame;
        frame.show();
        MessageLog log;  // the missing method may be reported
        CChildFrame* bare = frame.openDocument(without);
        QVERIFY(bare != nullptr);
        QVERIFY(!bare->document().hasMethod);
        frame.updateCommandStates();
        QVERIFY(!frame.action(command::kIdentify)->isEnabled());
        QVERIFY(!frame.action(command::kConcentrations)->isEnabled());
        QVERIFY(!frame.runCommand(command::kIdentify));
        QVERIFY(frame.action(command::kFilter)->isEnabled());
        QVERIFY(!frame.action(command::kUndo)->isEnabled());
        QVERIFY(frame.action(command::kPassport)->isEnabled());
        // Without a method there is no method sheet to show.
        QVERIFY(!frame.action(command::kChromatogramMethod)->isEnabled());
        // The text export of a chromatogram without a save name asks for the file.
        QVERIFY(frame.action(command::kExportText)->isEnabled());
        {
            QString caption, proposed;
            const QString out = QString::fromStdString(path(dir, "export.txt").string());
            zelmora::gui::ScopedFileChooser chooser([&](const zelmora::gui::FileRequest& r) {
                caption = r.caption;
                proposed = r.start;
                return out;
            });
            QVERIFY(frame.runCommand(command::kExportText));
            QCOMPARE(caption, QStringLiteral("Экспорт в текстовый файл"));
            QVERIFY(proposed.endsWith(QStringLiteral("data.txt")));
            QVERIFY(fs::exists(path(dir, "export.txt")));
        }

        CChildFrame* full = frame.openDocument(withMethod);
        QVERIFY(full != nullptr && full->document().hasMethod);
        QCOMPARE(frame.activeChromatogram(), full);
        QVERIFY(frame.action(command::kIdentify)->isEnabled());
        // Activating the other window brings its states back.
        frame.mdiArea()->setActiveSubWindow(bare);
        QCOMPARE(frame.activeChromatogram(), bare);
        QVERIFY(!frame.action(command::kIdentify)->isEnabled());
        frame.mdiArea()->setActiveSubWindow(full);

        // The span pane shows the active window's last spans.
        emit full->spanTextChanged(QStringLiteral("[1.00000 мВ 2.00 мин]"));
        QCOMPARE(frame.spanPane()->text(), QStringLiteral("[1.00000 мВ 2.00 мин]"));
        emit bare->spanTextChanged(QStringLiteral("[3.00000 мВ 4.00 мин]"));
        QCOMPARE(frame.spanPane()->text(), QStringLiteral("[1.00000 мВ 2.00 мин]"));
        emit full->cursorTextChanged(QStringLiteral("5.0 мВ; 1.00 мин"));
        frame.mdiArea()->setActiveSubWindow(bare);
        QCOMPARE(frame.spanPane()->text(), QStringLiteral("[3.00000 мВ 4.00 мин]"));
        QVERIFY(frame.cursorPane()->text().isEmpty());
        frame.mdiArea()->setActiveSubWindow(full);
        QCOMPARE(frame.spanPane()->text(), QStringLiteral("[1.00000 мВ 2.00 мин]"));

        // The clipped-peak approximation needs the selected peak to be the tallest.
        full->prompts().runDialog = [](QDialog&) { return int(QDialog::Accepted); };
        QVERIFY(full->commands().AutoMark());
        QVERIFY(full->document().peakCount() >= 2);
        full->view()->setSelectedPeak(-1);
        frame.updateCommandStates();
        QVERIFY(!frame.action(command::kApproximateClip)->isEnabled());
        full->view()->setSelectedPeak(1);  // Этан, not the tallest
        frame.updateCommandStates();
        QVERIFY(frame.action(command::kApproximateClip)->isEnabled());
        const std::vector<float> trace = full->document().signal.samples;
        QVERIFY(!frame.runCommand(command::kApproximateClip));
        QVERIFY(full->document().signal.samples == trace);

        // The groups button is checked by the document's setting.
        const bool groups = full->commands().showGroups();
        QVERIFY(frame.runCommand(command::kToggleGroups));
        QCOMPARE(frame.action(command::kToggleGroups)->isChecked(), !groups);

        // Filtering through its sheet: the page's answer becomes the document's
        // filter, the trace changes and "Отменить" is enabled.
        full->prompts().runDialog = [](QDialog& d) {
            auto* page = d.findChild<zelmora::gui::CMtdFilteringPg*>();
            page->kinds()->button(3)->setChecked(true);
            page->window()->setText(QStringLiteral("0,5"));
            return static_cast<zelmora::gui::CSinglePageSheet&>(d).tryAccept() ? QDialog::Accepted
                                                                               : QDialog::Rejected;
        };
        const std::vector<float> samples = full->document().signal.samples;
        QVERIFY(frame.runCommand(command::kFilter));
        QCOMPARE(full->commands().filterSettings.kind, 3);
        QCOMPARE(full->commands().filterSettings.window, 0.5f);
        QVERIFY(full->document().signal.samples != samples);
        QVERIFY(full->document().isModified());
        QVERIFY(frame.action(command::kUndo)->isEnabled());
        full->document().setModified(false);
        bare->document().setModified(false);
    }

    void closeRulesAskAboutInstruments() {
        zelmora::CDeviceManager devices(zelmora::userSettings());
        QVERIFY(devices.add(5) != nullptr);  // the demo converter
        QVERIFY(devices.connect(0));
        CMainFrame frame;
        frame.setDeviceManager(&devices);
        MessageLog log;
        // Without the option the program ends without asking.
        zelmora::CProgramSettings::instance().update(
            [](zelmora::ProgramOptions& o) { o.confirmDisconnect = false; });
        QVERIFY(frame.queryClose());
        QVERIFY(log.texts.isEmpty());
        zelmora::CProgramSettings::instance().update(
            [](zelmora::ProgramOptions& o) { o.confirmDisconnect = true; });
        log.answers = {QMessageBox::Cancel};
        QVERIFY(!frame.queryClose());
        QCOMPARE(log.captions.back(), QStringLiteral("Предупреждение"));
        QVERIFY(log.saw(QStringLiteral("Не все приборы отключены.\nВы действительно")));
        log.answers = {QMessageBox::Ok};
        QVERIFY(frame.queryClose());
        devices.disconnect(0);
        log.texts.clear();
        QVERIFY(frame.queryClose());
        QVERIFY(log.texts.isEmpty());
        zelmora::CProgramSettings::instance().update(
            [](zelmora::ProgramOptions& o) { o.confirmDisconnect = false; });
        frame.setDeviceManager(nullptr);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
