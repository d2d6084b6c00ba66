// The chromatograph's windows against the simulated chromatograph: the
// progress window's title, plug-and-play confirmed or cancelled by the
// operator, loading the parameters and the parameter report.

// The simulator's headers name a field "signals": they come before Qt's
// keyword macros.
#include "instruments/sim/kalder_pty_simulator.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "gui/instruments/kalder_dialogs.h"
#include "gui/instruments/kalder_settings_sheet.h"
#include "gui/instruments/progress_wnd.h"
#include "gui/main_frame.h"
#include "gui_test_support.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"
#include "instruments/kalder_instrument.h"

using zelmora::CKalderInstrument;
using zelmora::gui::CPlugAndPlayDlg;
using zelmora::gui::CProgressWnd;

namespace {

// Runs `f` on the active modal plug-and-play window every 20 ms until it
// returns true.
void whilePlugAndPlay(std::function<bool(CPlugAndPlayDlg&)> f) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, f] {
        auto* dlg = qobject_cast<CPlugAndPlayDlg*>(QApplication::activeModalWidget());
        if (dlg == nullptr || !f(*dlg))
            return;
        timer->stop();
        timer->deleteLater();
    });
    timer->start();
}

std::string workLog() {
    std::ifstream in(zelmora::CWorkLog::instance().path(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return zelmora::text::fromCp1251(s.str());
}

}  // namespace

class KalderDialogsTest : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<zelmora::sim::KalderPtySimulator> sim_;
    std::unique_ptr<CKalderInstrument> device_;

    // Plug-and-play waits five or six packets for each answer, a second of
    // the instrument's time. At 40 times speed that was 25 ms of the
    // machine's; on a loaded machine the answer came later, the procedure
    // timed out ("Таймаут. Ошибка записи стека.") and the window closed as
    // failed. At 10 times the answer has 100 ms.
    bool connectDevice(double speed = 10) {
        auto c = zelmora::sim::defaultKalderConfig();
        c.speed = speed;
        sim_ = std::make_unique<zelmora::sim::KalderPtySimulator>(c);
        std::string error;
        if (!sim_->start(&error))
            return false;
        device_ = std::make_unique<CKalderInstrument>(1);
        device_->init(0);
        device_->setPortPath(sim_->path());
        device_->setWriterPeriodsMs(5, 20);
        return device_->open().ok();
    }

  private slots:
    void initTestCase() {
        if (!zelmora::CWorkLog::instance().active())
            zelmora::CWorkLog::instance().start({}, "test", "test");
    }
    void cleanup() {
        device_.reset();
        sim_.reset();
    }

    void progressWindowTitleFollowsThePercentage() {
        CProgressWnd w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Progress [0%]"));
        QCOMPARE(w.button()->text(), QStringLiteral(" Cancel "));
        w.setCaption(QStringLiteral("Загрузка"));
        w.setRange(0, 200);
        w.setPos(50);
        QCOMPARE(w.windowTitle(), QStringLiteral("Загрузка [25%]"));
        QCOMPARE(w.bar()->value(), 50);
        w.setRange(100, 300);
        w.setPos(250);
        QCOMPARE(w.percent(), 75);
        QCOMPARE(CProgressWnd::percentOf(5, 7, 7), 0);
        w.show();
        QVERIFY(!w.cancelled());
        QTest::mouseClick(w.button(), Qt::LeftButton);
        QVERIFY(w.cancelled());
        QVERIFY(!w.isVisible());
    }

    void plugAndPlayIsConfirmedByTheOperator() {
        QVERIFY(connectDevice());
        QString shown;
        whilePlugAndPlay([&](CPlugAndPlayDlg& dlg) {
            if (!dlg.confirmButton()->isEnabled())
                return false;
            shown = dlg.text();
            QTest::mouseClick(dlg.confirmButton(), Qt::LeftButton);
            return true;
        });
        // What the line lost tells a loaded machine from a fault of the
        // procedure.
        const auto lineReport = [&] {
            return QStringLiteral("packets dropped by the simulator: %1, sequence breaks: %2")
                .arg(sim_->droppedPackets().size())
                .arg(device_->sequenceBreaks());
        };
        QVERIFY2(zelmora::gui::runPlugAndPlayDialog(*device_, nullptr) == 1,
                 qPrintable(lineReport()));
        QVERIFY2(shown.contains(QStringLiteral("Опрос устройств завершен.")), qPrintable(shown));
        QVERIFY2(shown.contains(QStringLiteral("ИМТ-M1 serial=012345")), qPrintable(shown));
        QVERIFY(device_->plugAndPlay().completed());
        QVERIFY2(
            QTest::qWaitFor([&] { return device_->modules().size() == 4; }, 10000),
            qPrintable(QString::fromStdString(device_->compositionText()) + "; " + lineReport()));
    }

    void plugAndPlayCancelled() {
        QVERIFY(connectDevice());
        whilePlugAndPlay([](CPlugAndPlayDlg& dlg) {
            QTest::mouseClick(dlg.cancelButton(), Qt::LeftButton);
            return true;
        });
        QCOMPARE(zelmora::gui::runPlugAndPlayDialog(*device_, nullptr), 0);
        QVERIFY(!device_->plugAndPlay().active());
        QVERIFY(workLog().find("# Прользователь оборвал процесс Plug-and-Play") !=
                std::string::npos);
    }

    void loadingAndTheParameterReport() {
        QVERIFY(connectDevice());
        QCOMPARE(zelmora::gui::loadAllParameters(*device_, 2, nullptr), 1);
        QCOMPARE(device_->remainingToLoad(2), std::size_t{0});
        zelmora::gui::CParamReportDlg report(*device_, 5);
        const QString text = report.textView()->toPlainText();
        QVERIFY2(text.startsWith(QStringLiteral("ИМТ1 ДТП1 ГН12 Крн12")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Параметр")), qPrintable(text));
    }

    void settingsOfAConnectedChromatographLoadItsParameters() {
        auto c = zelmora::sim::defaultKalderConfig();
        c.speed = 40;
        sim_ = std::make_unique<zelmora::sim::KalderPtySimulator>(c);
        std::string error;
        QVERIFY2(sim_->start(&error), error.c_str());
        zelmora::CDeviceManager devices(zelmora::userSettings());
        auto* kalder = dynamic_cast<CKalderInstrument*>(devices.add(1));
        QVERIFY(kalder != nullptr);
        kalder->setWriterPeriodsMs(5, 20);
        QVERIFY(devices.setPortPath(kalder->portIndex(), sim_->path()));
        zelmora::gui::CMainFrame frame;
        frame.setDeviceManager(&devices);
        QVERIFY(devices.connect(0).ok());
        frame.updateCommandStates();
        const int settings = zelmora::command::kSettings + 0;
        // At the end of the loading the chromatograph's settings sheet opens.
        QString composition;
        QTimer timer;
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* sheet = qobject_cast<zelmora::gui::CZelmoraKalderSettings*>(
                QApplication::activeModalWidget());
            if (sheet == nullptr)
                return;
            composition = sheet->additional()->composition->text();
            sheet->accept();
        });
        timer.start();
        QVERIFY(frame.runCommand(settings));
        timer.stop();
        QCOMPARE(composition, QStringLiteral("ИМТ1 ДТП1 ГН12 Крн12"));
        devices.disconnect(0);
        frame.setDeviceManager(nullptr);
    }

    void cancelledLoadingOffersPlugAndPlay() {
        QVERIFY(connectDevice(4));  // slow enough for the cancel to come first
        zelmora::guitest::MessageLog log;
        log.answers.push_back(QMessageBox::Yes);
        QTimer::singleShot(50, [] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* p = qobject_cast<CProgressWnd*>(w); p && p->isVisible())
                    QTest::mouseClick(p->button(), Qt::LeftButton);
            }
        });
        QCOMPARE(zelmora::gui::loadAllParameters(*device_, 3, nullptr), 0);
        QVERIFY(log.saw(QStringLiteral("Загрузка параметров отменена.")));
        QVERIFY(device_->plugAndPlay().active());
        device_->plugAndPlay().cancel();
    }
};

QTEST_MAIN(KalderDialogsTest)
#include "kalder_dialogs_test.moc"
