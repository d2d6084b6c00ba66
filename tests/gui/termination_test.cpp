// The end of the program by a termination signal: the signal reaches the
// user-interface thread, the main window closes as "Выход" does without
// asking anyone, unsaved chromatograms are kept as copies, and the whole
// program writes its stop line and saves its options.

#include <QDialog>
#include <QMdiArea>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/text.h"
#include "gui/document/child_frame.h"
#include "gui/main_frame.h"
#include "gui/termination_signals.h"
#include "gui_test_support.h"
#include "method/document_method.h"
#include "processing/peak_integration.h"

namespace fs = std::filesystem;
using zelmora::gui::CMainFrame;
using zelmora::gui::TerminationSignals;
using zelmora::guitest::MessageLog;

namespace {

std::string fileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

class TerminationTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        zelmora::installFolderMethodLoader();
        zelmora::installIntegrationAfterRead();
    }

    void signalReachesTheUserInterfaceThread() {
        TerminationSignals watcher;
        QVERIFY(watcher.isWatching());
        QSignalSpy spy(&watcher, &TerminationSignals::terminationRequested);
        ::raise(SIGTERM);
        ::raise(SIGHUP);
        QTRY_COMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toInt(), SIGTERM);
        QCOMPARE(spy.at(1).at(0).toInt(), SIGHUP);
    }

    void closesWithoutQuestionsAndKeepsUnsavedChanges() {
        QTemporaryDir dir;
        const fs::path file = fs::path(dir.path().toStdString()) / "проба.stg";
        QVERIFY(zelmora::guitest::writeChromatogram(file, ""));
        const std::string before = fileBytes(file);
        MessageLog log;
        log.fallback = QMessageBox::Cancel;  // an answer no one gives
        CMainFrame frame;
        frame.show();
        auto* child = frame.openDocument(file);
        QVERIFY(child != nullptr);
        child->document().peaks.clear();
        child->document().setModified(true);

        // A dialog is open when the session ends: it is cancelled first.
        QDialog dialog(&frame);
        QTimer::singleShot(0, &frame, [&frame] { frame.closeUnattended(); });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QTRY_VERIFY(!frame.isVisible());
        QVERIFY(log.texts.isEmpty());
        QCOMPARE(fileBytes(file), before);  // the operator's file as saved
        const fs::path copy =
            fs::path(dir.path().toStdString()) / "проба (несохранённые изменения).stg";
        QVERIFY(fs::exists(copy));
        zelmora::CZelmoraDoc kept;
        QVERIFY(kept.Read(copy));
        QCOMPARE(kept.peaks.size(), std::size_t(0));
    }

#ifdef ZELMORA_GUI_BINARY
    void theProgramEndsWithItsStopLine() {
        QTemporaryDir home;
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZELMORA_HOME"), home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(ZELMORA_GUI_BINARY), {});
        QVERIFY(program.waitForStarted());
        // Started once the work log has its start line.
        const fs::path logFile = fs::path(home.path().toStdString()) / "Zelmora.log";
        // The work log is kept in code page 1251.
        QTRY_VERIFY_WITH_TIMEOUT(!fileBytes(logFile).empty(), 20000);
        program.terminate();  // SIGTERM
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(zelmora::text::fromCp1251(fileBytes(logFile)).find(". Программа остановлена") !=
                std::string::npos);
    }
#endif
};

QTEST_MAIN(TerminationTest)
#include "termination_test.moc"
