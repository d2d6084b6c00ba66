// The chromatograph's readiness in the desktop program: its band repeats the
// front-panel lamps and the readiness reasons and its status pane the run
// state, following a simulated instrument from cold start to ready; the
// alarm window appears on a fault, sounds, and comes back 20 s after the
// operator dismissed it while the fault stands.

// Before Qt, whose "signals" keyword would clash with the simulator's field.
#include "instruments/sim/kalder_pty_simulator.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QToolBar>
#include <QtTest>
#include <fstream>
#include <iterator>
#include <memory>

#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "gui/instruments/alarm_wnd.h"
#include "gui/instruments/instrument_controls.h"
#include "gui/instruments/lamp_strip.h"
#include "gui/main_frame.h"
#include "gui_test_support.h"
#include "instruments/device_manager.h"
#include "instruments/kalder_instrument.h"

using zelmora::CDeviceManager;
using zelmora::CKalderInstrument;
using zelmora::gui::CAlarmWnd;
using zelmora::gui::CLampStrip;
using zelmora::gui::CMainFrame;
namespace rs = zelmora::run_state;

class ReadinessTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        if (!zelmora::CWorkLog::instance().active())
            zelmora::CWorkLog::instance().start({}, "test", "test");
    }

    void bandAndPaneFollowTheRunStates() {
        zelmora::sim::KalderSimConfig c = zelmora::sim::defaultKalderConfig();
        c.speed = 50;
        c.physics.on = true;
        c.physics.heatRate = 0.1;
        zelmora::sim::KalderPtySimulator sim(c);
        std::string error;
        QVERIFY2(sim.start(&error), error.c_str());

        CDeviceManager devices(zelmora::userSettings());
        auto* kalder = dynamic_cast<CKalderInstrument*>(devices.add(1));
        QVERIFY(kalder != nullptr);
        QVERIFY(devices.setPortPath(kalder->portIndex(), sim.path()));
        zelmora::KalderRunSettings s;
        s.given = true;
        s.ignitionAttempts = 3;
        s.programTemp[0] = 80;
        s.zones[1].setTemp = 150;
        s.zones[2].setTemp = 180;
        s.gas[0].flowSet = 30;
        kalder->setRunSettings(s);
        kalder->setClock([&sim] {
            return std::int64_t{1'000'000} + static_cast<std::int64_t>(sim.packetsSent()) * 200;
        });
        {
            CMainFrame frame;
            frame.setDeviceManager(&devices);
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            auto* ui = frame.instruments();
            CLampStrip* lamps = ui->lamps(0);
            QVERIFY(lamps != nullptr);
            QVERIFY(ui->band(0)->findChild<CLampStrip*>() == lamps);
            QCOMPARE(ui->pane(0)->text(), QStringLiteral("Zelmora Kalder"));
            QVERIFY(frame.runCommand(40000));
            QVERIFY(kalder->isRunning());

            // Preparing: "Подготовка" blinks, the pane says so.
            ui->updateReadiness();
            QCOMPARE(kalder->runState(), rs::kPreparing);
            QVERIFY(lamps->lit(0));
            QVERIFY(lamps->blinking(0));
            QVERIFY(!lamps->lit(1));
            QCOMPARE(ui->pane(0)->text(), QStringLiteral("Zelmora Kalder: Подготовка к анализу"));

            // Warming up the detector: the reason is on the band.
            QTRY_VERIFY_WITH_TIMEOUT(kalder->runState() == rs::kBeforeIgnition, 15000);
            QTRY_VERIFY_WITH_TIMEOUT(
                (ui->updateReadiness(),
                 lamps->reasons().contains(QStringLiteral("Ожидание прогрева детектора"))),
                10000);
            QCOMPARE(lamps->stateText(), QStringLiteral("Подготовка к поджигу"));

            // Ready: "Готов" lit steadily.
            QTRY_VERIFY_WITH_TIMEOUT(kalder->runState() == rs::kReady, 30000);
            ui->updateReadiness();
            QVERIFY(lamps->lit(1));
            QVERIFY(!lamps->blinking(1));
            QVERIFY(!lamps->lit(0));
            QCOMPARE(ui->pane(0)->text(), QStringLiteral("Zelmora Kalder: Прибор готов к записи"));
            QCOMPARE(lamps->stateText(), QStringLiteral("Прибор готов к записи"));
            frame.grab().save(QDir::temp().filePath(QStringLiteral("zelmora-readiness-band.png")));

            // A fault: "Авария" blinks and the alarm window comes up.
            kalder->alarms().report(41, " Не переключается кран 1 в блоке кранов 72");
            QTRY_VERIFY_WITH_TIMEOUT(kalder->runState() == rs::kError, 5000);
            ui->updateReadiness();
            QVERIFY(lamps->lit(2));
            QVERIFY(lamps->blinking(2));
            QVERIFY(ui->pane(0)->text().endsWith(QStringLiteral("Ошибка в приборе")));
            CAlarmWnd* wnd = frame.alarmWindow();
            QVERIFY(wnd != nullptr);
            wnd->check();
            QVERIFY(wnd->isVisible());
            QCOMPARE(wnd->alarmText(),
                     QStringLiteral("Прибор 1 (Zelmora Kalder):Ошибка кранов - кран заклинило Не "
                                    "переключается кран 1 в блоке кранов 72\r\n"));
            wnd->grab().save(QDir::temp().filePath(QStringLiteral("zelmora-alarm-window.png")));
            QVERIFY(frame.runCommand(40000));
            QVERIFY(!kalder->isRunning());
            ui->updateReadiness();
            QCOMPARE(ui->pane(0)->text(), QStringLiteral("Zelmora Kalder"));
            QVERIFY(!lamps->lit(2));
            // Closing the device cleared its alarms: the window goes.
            wnd->check();
            QVERIFY(!wnd->isVisible());
        }
    }

    void alarmWindowComesBackWhileTheFaultStands() {
        CDeviceManager devices(zelmora::userSettings());
        QVERIFY(devices.add(5) != nullptr);  // the simulated converter
        QVERIFY(devices.add(1) != nullptr);
        std::int64_t now = 1'000'000;
        std::vector<bool> sound;
        QWidget owner;
        CAlarmWnd wnd(
            &owner, [&](bool on) { sound.push_back(on); }, [&] { return now; });
        wnd.setDevices(&devices);
        wnd.check();
        QVERIFY(!wnd.isVisible());
        QVERIFY(sound.empty());

        devices.device(1).alarms().setDevice(2, "Zelmora Kalder");
        devices.device(1).alarms().report(50, " Перегрев Детектор-1  U220=220.00");
        wnd.check();
        QVERIFY(wnd.isVisible());
        QCOMPARE(sound, std::vector<bool>({true}));
        QCOMPARE(wnd.findChild<QLabel*>(QStringLiteral("AlarmText"))->text(),
                 QStringLiteral("Прибор 2 (Zelmora Kalder):Перегрев зоны 2 Перегрев Детектор-1  "
                                "U220=220.00"));

        // Dismissed: quiet for 20 s, then back while the fault stands.
        wnd.findChild<QPushButton*>(QStringLiteral("Dismiss"))->click();
        QVERIFY(!wnd.isVisible());
        QCOMPARE(sound, std::vector<bool>({true, false}));
        now += 10000;
        wnd.check();
        QVERIFY(!wnd.isVisible());
        now += 10000;
        wnd.check();
        QVERIFY(!wnd.isVisible());
        now += 1000;
        wnd.check();
        QVERIFY(wnd.isVisible());
        QCOMPARE(sound, std::vector<bool>({true, false, true}));
        // Escape dismisses too.
        QTest::keyClick(&wnd, Qt::Key_Escape);
        QVERIFY(!wnd.isVisible());

        // The fault is gone: hidden and silent for good.
        devices.device(1).alarms().reset();
        now += 60000;
        wnd.check();
        QVERIFY(!wnd.isVisible());
        QCOMPARE(sound, std::vector<bool>({true, false, true, false}));
        std::ifstream in(zelmora::CWorkLog::instance().path(), std::ios::binary);
        const std::string log = zelmora::text::fromCp1251(
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        QVERIFY(log.find("~ Все ошибки временно пропущены оператором") != std::string::npos);
        QVERIFY(log.find("- Все ошибки сброшены") != std::string::npos);
    }
};

QTEST_MAIN(ReadinessTest)
#include "readiness_test.moc"
