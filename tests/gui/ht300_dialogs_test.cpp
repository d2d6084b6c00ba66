// The HT300 autosampler's windows as an operator uses them: the settings
// dialog names each broken rule and stays open until the values are
// usable, the set-up dialog guards the hand wash, and the main window edits
// the vial list, starts a series on a connected sampler (its simulator) and
// refuses one on a sampler that is not connected.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "app/settings_store.h"
#include "gui/instruments/ht300_dialogs.h"
#include "gui_test_support.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"
#include "instruments/ht300_sampler.h"
#include "instruments/sim/ht300_pty_simulator.h"

using namespace zelmora;

class Ht300DialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void settingsRulesKeepTheDialogOpen() {
        QTemporaryDir dir;
        SettingsStore store(dir.filePath("settings").toStdString(), true);
        CDeviceManager devices(store);
        QVERIFY(devices.add(static_cast<int>(DeviceType::Ostrel)) != nullptr);
        auto* sampler =
            dynamic_cast<CHt300Sampler*>(devices.add(static_cast<int>(DeviceType::Ht300)));
        QVERIFY(sampler != nullptr);
        guitest::MessageLog log;
        gui::CHt300SettingsDlg dlg(*sampler, &devices);
        dlg.show();
        // The sampler itself is no device to record on.
        QCOMPARE(dlg.deviceBox()->count(), 1);
        QCOMPARE(dlg.deviceBox()->currentData().toInt(), 0);
        QVERIFY(!dlg.nearChannel(1)->isHidden());
        QVERIFY(dlg.nearChannel(2)->isHidden());

        dlg.doseBox()->setValue(15);
        dlg.accept();
        QVERIFY(
            log.saw("Объём дозы (15.00 мкл) больше, чем объём шприца (10.00)\nУменьшите "
                    "объём дозы."));
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));

        dlg.doseBox()->setValue(3);
        dlg.aspirationSpeedBox()->setValue(150);
        dlg.accept();
        QVERIFY(log.saw("Скорость набора пробы (150.00 мкл/сек) очень большаяя"));
        dlg.aspirationSpeedBox()->setValue(20);
        dlg.preTimeBox()->setValue(120);
        dlg.accept();
        QVERIFY(log.saw("Время перед дозированием (120.00 сек) должно находиться в пределах"));
        dlg.preTimeBox()->setValue(5);
        dlg.nearChannel(0)->setChecked(false);
        dlg.accept();
        QVERIFY(log.saw("Выбор прибора для запуска анализа не верен"));
        dlg.nearChannel(1)->setChecked(true);
        dlg.internalStandardCheck()->setChecked(true);
        dlg.internalStandardBox()->setValue(8);
        dlg.accept();
        QVERIFY(log.saw("составляет (11.00 мкл), что больше, чем объёма шприца (10.00 мкл)"));
        QVERIFY(dlg.isVisible());
        // Nothing reached the sampler while a rule was broken.
        QCOMPARE(sampler->settings().volSamp, 500);

        dlg.internalStandardBox()->setValue(2);
        dlg.resize(720, 560);
        dlg.grab().save(QDir::temp().filePath("ht300_settings.png"));
        const int messages = log.texts.size();
        dlg.accept();
        QCOMPARE(log.texts.size(), messages);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        const Ht300Settings s = sampler->settings();
        QCOMPARE(s.volSamp, 300);
        QCOMPARE(s.aspSpeed, 20);
        QCOMPARE(s.preTime, 5);
        QCOMPARE(s.startChannelBits0, 2);
        QCOMPARE(s.isoEnab, 1);
        QCOMPARE(s.isVol, 200);
        QCOMPARE(s.deviceIndex, 0);
    }

    void setupGuardsTheHandWash() {
        CHt300Sampler sampler;
        QVERIFY(sampler.init(0));
        guitest::MessageLog log;
        gui::CHt300Setup1Dlg dlg(sampler);
        dlg.show();
        QVERIFY(!dlg.washButton()->isEnabled());  // not connected
        dlg.handWashVolumeBox()->setValue(20);
        dlg.accept();
        QVERIFY(
            log.saw("Объём ручной промывки (20.00 мкл) больше, чем объём шприца (10.00 "
                    "мкл)\nУменьшите объём ручной промывки."));
        QVERIFY(dlg.isVisible());
        dlg.handWashVolumeBox()->setValue(7.5);
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(sampler.settings().handWashVolume, 750);
    }

    void mainWindowEditsVialsAndRunsASeries() {
        guitest::MessageLog log;
        // Not connected: the list is edited, the start is refused.
        {
            CHt300Sampler sampler;
            QVERIFY(sampler.init(0));
            gui::CHt300MainDlg dlg(sampler, nullptr);
            QCOMPARE(dlg.table()->rowCount(), 10);
            QCOMPARE(dlg.table()->item(0, 1)->text(), QString("Проба 1"));
            QVERIFY(!dlg.startButton()->isEnabled());
            QCOMPARE(dlg.statusLabel()->text(), QString("Дозатор не подключён"));
            dlg.table()->item(2, 1)->setText("Бензин АИ-92");
            dlg.table()->item(2, 2)->setCheckState(Qt::Checked);
            QVERIFY(!dlg.startSeries());
            QVERIFY(log.saw("Дозатор HT300 не подключён."));
            QCOMPARE(sampler.vials()[2].name, std::string("Бензин АИ-92"));
            QVERIFY(sampler.vials()[2].use);
        }
        // Connected to the simulated sampler with a 40-place tray.
        sim::Ht300PtySimulator simulator(sim::Ht300SimConfig{});
        std::string error;
        QVERIFY2(simulator.start(&error), error.c_str());
        CHt300Sampler sampler;
        QVERIFY(sampler.init(0));
        sampler.setPortPath(simulator.path());
        sampler.setHandshakeTimeoutMs(2000);
        QVERIFY(sampler.open().ok());
        QTRY_COMPARE(sampler.state(), int(CHt300Sampler::Waiting));
        gui::CHt300MainDlg dlg(sampler, nullptr);
        dlg.show();
        QCOMPARE(dlg.table()->rowCount(), 40);
        QVERIFY(dlg.startButton()->isEnabled());
        QVERIFY(!dlg.stopButton()->isEnabled());
        QVERIFY(!dlg.startSeries());
        QVERIFY(log.saw("Ни одна из проб не помечена как рабочая."));
        dlg.table()->item(4, 1)->setText("Дизельное топливо");
        dlg.table()->item(4, 2)->setCheckState(Qt::Checked);
        QVERIFY(dlg.startSeries());
        // No recording device answers: the sampler waits for the chromatograph.
        QTRY_VERIFY(dlg.statusLabel()->text().startsWith("Ожидание готовности хроматографа"));
        QVERIFY(dlg.statusLabel()->text().contains("виала 5, доз 0"));
        QVERIFY(dlg.stopButton()->isEnabled());
        QVERIFY(!dlg.startButton()->isEnabled());
        dlg.resize(560, 480);
        dlg.grab().save(QDir::temp().filePath("ht300_main.png"));
        dlg.stopSeries();
        QCOMPARE(sampler.state(), int(CHt300Sampler::Waiting));
        QVERIFY(dlg.startButton()->isEnabled());
        sampler.close();
    }
};

QTEST_MAIN(Ht300DialogsTest)
#include "ht300_dialogs_test.moc"
