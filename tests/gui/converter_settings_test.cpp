// The converters' settings windows against the simulated converters on
// pseudo-terminals: the Ostrel's inversion turns the sign of the samples it
// decodes from the moment OK is pressed, the "КД+АЦП" sends the offset and
// temperature command the operator applied (refusing values out of range),
// the Varsel detector is brought to the wanted wavelength and division
// factor; the lamps and the range line follow the running converter, and
// what was applied is in the settings file at once.

// The simulator's headers name a field "signals": they come before Qt's
// keyword macros.
#include "instruments/sim/pty_simulator.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/settings_store.h"
#include "app/work_log.h"
#include "gui/instruments/converter_settings_dlg.h"
#include "gui_test_support.h"
#include "instruments/acquisition_channel.h"
#include "instruments/detector_adc.h"
#include "instruments/device_manager.h"
#include "instruments/ostrel_adc.h"
#include "instruments/varsel_adc.h"

namespace fs = std::filesystem;
using zelmora::CDetectorAdc;
using zelmora::CDeviceManager;
using zelmora::COstrelAdc;
using zelmora::CVarselAdc;
using zelmora::SampleChannel;
using zelmora::guitest::MessageLog;
namespace sim = zelmora::sim;

namespace {

constexpr int kOstrel = 2;
constexpr int kDetectorAdc = 3;
constexpr int kDemo = 5;
constexpr int kFluorat = 7;
constexpr int kVarsel = 8;

// A simulator set up as its command line would set it up (the
// configuration's field for the traces cannot be named next to Qt's
// keywords).
sim::SimConfig simConfig(const std::vector<std::string>& args) {
    sim::SimConfig c;
    std::string error;
    if (!sim::parseSimArgs(args, c, &error))
        qFatal("%s", error.c_str());
    return c;
}

SampleChannel& samples(zelmora::CDevice& d, int c) {
    return dynamic_cast<SampleChannel&>(d.channel(c));
}

// The folder of the test programs' output: next to the test's home.
fs::path outputDir() {
    const QByteArray home = qgetenv("ZELMORA_HOME");
    return home.isEmpty() ? fs::current_path() : fs::path(home.toStdString()).parent_path();
}

bool savePicture(QWidget& w, const char* name) {
    return w.grab().save(QString::fromStdString((outputDir() / name).string()));
}

// How the recorded samples relate to the simulator's frames: the number of
// samples before the sign turned, and whether every sample is a
// consecutive frame's value with + before the turn and - after it.
struct SignTurn {
    bool consecutive = false;
    std::size_t before = 0;
    std::size_t after = 0;
};

SignTurn signTurn(const std::vector<double>& got, const sim::FrameSource& src, int channel,
                  std::uint64_t frames) {
    SignTurn r;
    if (got.empty())
        return r;
    const double tol = 1e-9;
    for (std::uint64_t n0 = 0; n0 < frames; ++n0) {
        if (std::fabs(src.expectedSample(channel, n0) - std::fabs(got[0])) > tol)
            continue;
        std::size_t i = 0;
        bool turned = false;
        for (; i < got.size(); ++i) {
            const double want = src.expectedSample(channel, n0 + i);
            if (!turned && std::fabs(got[i] - want) < tol) {
                ++r.before;
            } else if (std::fabs(got[i] + want) < tol) {
                turned = true;
                ++r.after;
            } else {
                break;
            }
        }
        r.consecutive = i == got.size();
        return r;
    }
    return r;
}

// Runs `f` on the first modal settings window shown.
void onSettingsWindow(std::function<void(zelmora::gui::CConverterSettingsDlg&)> f) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, f] {
        auto* dlg =
            qobject_cast<zelmora::gui::CConverterSettingsDlg*>(QApplication::activeModalWidget());
        if (dlg == nullptr)
            return;
        timer->stop();
        timer->deleteLater();
        f(*dlg);
    });
    timer->start();
}

void clickOk(QDialog& dlg) {
    auto* box = dlg.findChild<QDialogButtonBox*>();
    QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

std::string key(const char* name) {
    return std::string(zelmora::kRootKey) + "\\" + name;
}

// The settings file as another program would read it now.
std::unique_ptr<zelmora::SettingsStore> reread() {
    auto s = std::make_unique<zelmora::SettingsStore>(zelmora::userSettings().file(), false);
    if (s->load() != zelmora::SettingsStore::LoadStatus::Loaded)
        return nullptr;
    return s;
}

}  // namespace

class ConverterSettingsTest : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<sim::PtySimulator> sim_;
    std::unique_ptr<CDeviceManager> devices_;

    // The list holding one converter of the type, connected to the simulator.
    zelmora::CDevice* connectConverter(const sim::SimConfig& c, int type) {
        sim_ = std::make_unique<sim::PtySimulator>(c);
        std::string error;
        if (!sim_->start(&error)) {
            qWarning("%s", error.c_str());
            return nullptr;
        }
        zelmora::CDevice* d = devices_->add(type);
        if (d == nullptr || !devices_->save())
            return nullptr;
        devices_->setPortPath(d->portIndex(), sim_->path());
        if (auto* detector = dynamic_cast<CDetectorAdc*>(d))
            detector->setWriterPeriodMs(40);
        if (const zelmora::Status s = devices_->connect(0); !s) {
            qWarning("%s", s.message().c_str());
            return nullptr;
        }
        return d;
    }

  private slots:
    void initTestCase() {
        if (!zelmora::CWorkLog::instance().active())
            zelmora::CWorkLog::instance().start({}, "test", "test");
    }
    void init() {
        CDeviceManager clean(zelmora::userSettings());
        QVERIFY(clean.save());
        zelmora::userSettings().deleteKey(key("Ports"));
        zelmora::userSettings().deleteKey(key("Ostrel"));
        QVERIFY(zelmora::userSettings().flush());
        devices_ = std::make_unique<CDeviceManager>(zelmora::userSettings());
    }
    void cleanup() {
        devices_.reset();
        sim_.reset();
    }

    void ostrelInversionTurnsTheSignOfTheRunningSignal() {
        // Rising ramps: every frame's sample is positive and its own.
        const sim::SimConfig c = simConfig(
            {"ostrel", "--speed", "20", "--channel", "1", "--baseline", "100", "--ramp", "0.37",
             "--channel", "2", "--baseline", "2", "--ramp", "0.05", "--range", "2@300:1"});
        auto* d = dynamic_cast<COstrelAdc*>(connectConverter(c, kOstrel));
        QVERIFY(d != nullptr);
        samples(*d, 0).recordNow();
        samples(*d, 1).recordNow();
        QVERIFY(samples(*d, 0).waitForSamples(30, 3000));

        zelmora::gui::COstrelSettingsDlg dlg(*d, *devices_);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        for (int c = 0; c < 4; ++c)
            QVERIFY(!dlg.invertBox(c)->isChecked());
        // The lamps and the range line follow the converter on the timer.
        QTRY_VERIFY(dlg.connectedLit());
        QTRY_VERIFY(dlg.exchangeLit());
        QTRY_COMPARE(dlg.statusLabel()->text(), QStringLiteral("Канал 1: 10В    Канал 2: 1мВ    "));
        QVERIFY(savePicture(dlg, "converter-ostrel.png"));

        dlg.invertBox(0)->setChecked(true);
        dlg.invertBox(3)->setChecked(true);
        const std::size_t beforeOk = samples(*d, 0).samples().size();
        clickOk(dlg);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(d->invert(0) && !d->invert(1) && d->invert(3));
        QVERIFY(samples(*d, 0).waitForSamples(beforeOk + 40, 3000));
        samples(*d, 0).stop(false);
        samples(*d, 1).stop(false);
        devices_->disconnect(0);

        const sim::FrameSource src = sim_->snapshot();
        const SignTurn ch1 = signTurn(samples(*d, 0).samples(), src, 0, sim_->nextFrame());
        QVERIFY(ch1.consecutive);
        QVERIFY2(ch1.before >= beforeOk && ch1.after >= 30,
                 qPrintable(QStringLiteral("%1 + / %2 -").arg(ch1.before).arg(ch1.after)));
        const SignTurn ch2 = signTurn(samples(*d, 1).samples(), src, 1, sim_->nextFrame());
        QVERIFY(ch2.consecutive);
        QCOMPARE(ch2.after, std::size_t(0));

        // Kept at once, and a list read again inverts the same channels.
        auto stored = reread();
        QVERIFY(stored != nullptr);
        const std::string k = CDeviceManager::deviceKey(0);
        QCOMPARE(stored->readInt(k, "CheckChn1", -1), 1);
        QCOMPARE(stored->readInt(k, "CheckChn2", -1), 0);
        QCOMPARE(stored->readInt(k, "CheckChn4", -1), 1);
        QCOMPARE(stored->readInt(k, "ID", -1), kOstrel);
        CDeviceManager again(*stored);
        again.load();
        QCOMPARE(again.count(), 1);
        auto& loaded = dynamic_cast<COstrelAdc&>(again.device(0));
        QVERIFY(loaded.invert(0) && !loaded.invert(1) && !loaded.invert(2) && loaded.invert(3));
        QTRY_VERIFY(!dlg.connectedLit());
    }

    void detectorAdcSendsTheAppliedOffsetAndTemperature() {
        MessageLog log;
        const sim::SimConfig c =
            simConfig({"kd", "--speed", "20", "--channel", "1", "--baseline", "50", "--ramp", "3.3",
                       "--channel", "2", "--baseline", "40", "--ramp", "0.21"});
        // Applied while the converter is not connected: sent once it is.
        auto* added = dynamic_cast<CDetectorAdc*>(devices_->add(kDetectorAdc));
        QVERIFY(added != nullptr);
        {
            zelmora::gui::CDetectorAdcSettingsDlg dlg(*added, *devices_);
            QVERIFY(!dlg.connectedLit() && !dlg.exchangeLit());
            // Nothing stored yet: the offset 0 that the detector cannot take.
            QCOMPARE(dlg.offsetBox()->text(), QStringLiteral("0"));
            QCOMPARE(dlg.checksumLabel()->text(), QStringLiteral("—"));
            dlg.offsetBox()->setText("500");
            dlg.temperatureBox()->setText("20");
            // 500 = 0x01F4: (0xF4 + 0x01 + 20) mod 256.
            QCOMPARE(dlg.checksumLabel()->text(), QStringLiteral("9"));
            QVERIFY(dlg.apply());
        }
        QVERIFY(devices_->remove(0));
        auto* d = dynamic_cast<CDetectorAdc*>(connectConverter(c, kDetectorAdc));
        QVERIFY(d != nullptr);
        // A converter added again takes the values its detector was set to.
        QCOMPARE(d->settings().offset, 500);
        auto received = [&](int offset, int temperature) {
            const auto cmds = sim_->snapshot().detectorCommands();
            return std::any_of(cmds.begin(), cmds.end(), [&](const auto& x) {
                return x.offset == offset && x.temperature == temperature;
            });
        };
        QTRY_VERIFY(received(500, 20));

        samples(*d, 1).recordNow();
        QVERIFY(samples(*d, 1).waitForSamples(20, 3000));
        zelmora::gui::CDetectorAdcSettingsDlg dlg(*d, *devices_);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.offsetBox()->text(), QStringLiteral("500"));
        QTRY_VERIFY(dlg.connectedLit() && dlg.exchangeLit());

        // Values out of range are refused with their range, and nothing is sent.
        const std::size_t sent = sim_->snapshot().detectorCommands().size();
        dlg.offsetBox()->setText("1023");
        QVERIFY(!dlg.apply());
        QVERIFY(log.saw(QStringLiteral("Смещение: введите целое число от 1 до 1022.")));
        QCOMPARE(log.captions.last(), QStringLiteral("Параметры работы КД+АЦП"));
        dlg.offsetBox()->setText("300");
        dlg.temperatureBox()->setText("101");
        QCOMPARE(dlg.checksumLabel()->text(), QStringLiteral("—"));
        QVERIFY(!dlg.apply());
        QVERIFY(log.saw(QStringLiteral("Температура: введите целое число от 0 до 100 °C.")));
        dlg.temperatureBox()->setText("");
        QVERIFY(!dlg.apply());
        // OK with a refused value keeps the window open.
        clickOk(dlg);
        QVERIFY(dlg.isVisible());
        QTest::qWait(150);
        QCOMPARE(sim_->snapshot().detectorCommands().size(), sent);
        QCOMPARE(d->settings().offset, 500);

        dlg.temperatureBox()->setText("55");
        QCOMPARE(dlg.checksumLabel()->text(), QStringLiteral("100"));  // 0x2C + 0x01 + 55
        dlg.invertBox()->setChecked(true);
        QVERIFY(savePicture(dlg, "converter-detector-adc.png"));
        const std::size_t beforeApply = samples(*d, 1).samples().size();
        QTest::mouseClick(dlg.applyButton(), Qt::LeftButton);
        QTRY_VERIFY(received(300, 55));
        QVERIFY(samples(*d, 1).waitForSamples(beforeApply + 30, 3000));
        samples(*d, 1).stop(false);
        devices_->disconnect(0);
        const SignTurn turn =
            signTurn(samples(*d, 1).samples(), sim_->snapshot(), 1, sim_->nextFrame());
        QVERIFY(turn.consecutive);
        QVERIFY(turn.before >= 20 && turn.after >= 20);

        // Each device's key and the key all such converters share.
        auto stored = reread();
        QVERIFY(stored != nullptr);
        for (const std::string& k : {CDeviceManager::deviceKey(0), key("Ostrel")}) {
            QCOMPARE(stored->readInt(k, "OffSet", -1), 300);
            QCOMPARE(stored->readInt(k, "Temperature", -1), 55);
            QCOMPARE(stored->readInt(k, "Invert", -1), 1);
        }
        // OK with the values as they are closes without a new command.
        clickOk(dlg);
        QVERIFY(!dlg.isVisible());
    }

    void varselIsBroughtToTheWantedValues() {
        MessageLog log;
        const sim::SimConfig c =
            simConfig({"varsel", "--speed", "20", "--wavelength", "254", "--division", "1"});
        auto* d = dynamic_cast<CVarselAdc*>(connectConverter(c, kVarsel));
        QVERIFY(d != nullptr);
        zelmora::gui::CVarselSettingsDlg dlg(*d, *devices_);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        // The detector's own values fill the boxes once it reported them.
        QTRY_COMPARE(dlg.wavelengthBox()->text(), QStringLiteral("254"));
        QCOMPARE(dlg.divisionBox()->text(), QStringLiteral("1"));
        QTRY_COMPARE(dlg.currentLabel()->text(),
                     QStringLiteral("Прибор: длина волны 254 нм, коэффициент деления 1"));
        QTRY_VERIFY(dlg.exchangeLit());

        dlg.wavelengthBox()->setText("0");
        QVERIFY(!dlg.apply());
        QVERIFY(log.saw(QStringLiteral("Длина волны: введите целое число от 1 до 65535 нм.")));
        dlg.wavelengthBox()->setText("280");
        dlg.divisionBox()->setText("70000");
        QVERIFY(!dlg.apply());
        QVERIFY(log.saw(QStringLiteral("Коэффициент деления: введите целое число от 1 до 65535.")));
        QCOMPARE(d->wantedWavelength(), 254);

        dlg.divisionBox()->setText("4");
        QTest::mouseClick(dlg.applyButton(), Qt::LeftButton);
        QVERIFY(dlg.applied());
        QTRY_VERIFY(sim_->snapshot().wavelength() == 280 && sim_->snapshot().division() == 4);
        QTRY_COMPARE(dlg.currentLabel()->text(),
                     QStringLiteral("Прибор: длина волны 280 нм, коэффициент деления 4"));
        // Settled: no more setpoints once the detector is there.
        QTest::qWait(200);
        const std::size_t settled = sim_->snapshot().varselCommands().size();
        QTest::qWait(200);
        QCOMPARE(sim_->snapshot().varselCommands().size(), settled);
        QVERIFY(savePicture(dlg, "converter-varsel.png"));
        devices_->disconnect(0);
        QTRY_COMPARE(dlg.currentLabel()->text(), QStringLiteral("Прибор: значения не получены"));
    }

    // "&Установки..." opens the window of the converter's type; the types
    // without settings of their own get none.
    void settingsWindowOfEachType() {
        QVERIFY(devices_->add(kOstrel) != nullptr);
        QVERIFY(devices_->add(kDetectorAdc) != nullptr);
        QVERIFY(devices_->add(kVarsel) != nullptr);
        QVERIFY(devices_->add(kDemo) != nullptr);
        QVERIFY(devices_->add(kFluorat) != nullptr);
        QVERIFY(devices_->save());
        const QStringList titles = {QStringLiteral("Параметры работы АЦП4"),
                                    QStringLiteral("Параметры работы КД+АЦП"),
                                    QStringLiteral("Параметры работы Varsel")};
        for (int i = 0; i < 3; ++i) {
            QString title;
            onSettingsWindow([&](zelmora::gui::CConverterSettingsDlg& dlg) {
                title = dlg.windowTitle();
                dlg.reject();
            });
            const auto shown = zelmora::gui::showConverterSettings(*devices_, i, nullptr);
            QVERIFY(shown.has_value());
            QVERIFY(!*shown);
            QCOMPARE(title, titles[i]);
        }
        // OK in the Ostrel's window applies, in its place of the list.
        onSettingsWindow([](zelmora::gui::CConverterSettingsDlg& dlg) {
            static_cast<zelmora::gui::COstrelSettingsDlg&>(dlg).invertBox(1)->setChecked(true);
            clickOk(dlg);
        });
        QVERIFY(zelmora::gui::showConverterSettings(*devices_, 0, nullptr) == std::optional(true));
        QVERIFY(dynamic_cast<COstrelAdc&>(devices_->device(0)).invert(1));
        auto stored = reread();
        QVERIFY(stored != nullptr);
        QCOMPARE(stored->readInt(CDeviceManager::deviceKey(0), "CheckChn2", -1), 1);
        QCOMPARE(stored->readInt(CDeviceManager::deviceKey(1), "ID", -1), kDetectorAdc);
        QVERIFY(!zelmora::gui::showConverterSettings(*devices_, 3, nullptr).has_value());
        QVERIFY(!zelmora::gui::showConverterSettings(*devices_, 4, nullptr).has_value());
        QVERIFY(!zelmora::gui::showConverterSettings(*devices_, 5, nullptr).has_value());
    }
};

QTEST_MAIN(ConverterSettingsTest)
#include "converter_settings_test.moc"
