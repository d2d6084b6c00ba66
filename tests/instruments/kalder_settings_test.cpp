// The chromatograph's settings between the driver, its registry values and
// a method's instrument block, and the checks made before they are applied.

#include "instruments/kalder_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/program_settings.h"
#include "app/settings_store.h"
#include "instruments/acquisition_channel.h"
#include "instruments/kalder_instrument.h"
#include "instruments/kalder_modules.h"
#include "method/method_file.h"

namespace zelmora {
namespace {

using namespace kalder;

TEST(KalderSettings, ValvesOneToFourFollowTheValveBlocks) {
    const ValveSlots none = valveSlots({});
    EXPECT_EQ(none[3], (std::pair<int, int>{0, 3}));
    // A two-valve block, a detector, then a four-valve block.
    const ValveSlots two =
        valveSlots({moduleAddress(kClassValves2, 0), moduleAddress(kClassFlame, 0),
                    moduleAddress(kClassValves4, 0)});
    EXPECT_EQ(two[0], (std::pair<int, int>{0, 0}));
    EXPECT_EQ(two[1], (std::pair<int, int>{0, 1}));
    EXPECT_EQ(two[2], (std::pair<int, int>{1, 0}));
    EXPECT_EQ(two[3], (std::pair<int, int>{1, 1}));
    // One two-valve block: valves 3 and 4 keep places after it.
    const ValveSlots one = valveSlots({moduleAddress(kClassValves2, 0)});
    EXPECT_EQ(one[2], (std::pair<int, int>{1, 0}));
    EXPECT_EQ(one[3], (std::pair<int, int>{1, 1}));
}

TEST(KalderSettings, BlockRegistryAndDriverAgree) {
    MethodKalderSettings b;
    for (int z = 0; z < 8; ++z) {
        b.zoneTemperature[z] = z == 0 ? 0 : 100.0f + z;
        b.zoneNameCode[z] = 16 + z;
        b.zoneMaximum[z] = 250.0f + z;
        b.zoneTolerance[z] = 0.5f + z;
    }
    b.programTemperature = {50, 80, 110, 140, 0};
    b.programIsotherm = {1, 2, 3, 4, 0};  // the fifth step is never run
    b.programRate = {5, 6, 7, 0};
    for (int c = 0; c < 12; ++c) {
        b.gasChannels[c].mode = c % 3;  // flow, pressure, velocity
        b.gasChannels[c].gasType = c % 5;
        b.gasChannels[c].columnLength = 30;
        b.gasChannels[c].columnDiameter = 0.32f;
        b.gasChannels[c].pressure = {1, 2, 3};
        b.gasChannels[c].pressureTime = {1, 2};
        b.gasChannels[c].pressureRate = {0.5f, 0.25f};
        b.gasSetValue[c] = 10.0f + c;
    }
    b.carrierTolerance = 1.5f;
    b.hydrogenTolerance = 2.5f;
    b.airTolerance = 3.5f;
    b.pressureTolerance = 0.02f;
    b.flameLevel = 0.25f;
    b.invertDetector = {0, 1, 0, 1};
    b.columnBelowDetector = 1;
    b.ignitionAttempts = 4;
    b.bridgeVoltage = {5, 6, 7, 8};
    b.balance = {-50, 25, 0, 100};
    b.closeFlap = 1;
    b.buttonFunction = {3, 16};
    b.readinessDelaySeconds = 30;
    b.silentMode = 0;
    for (int v = 0; v < 4; ++v)
        b.valves[v] = {0.5 + v, 2.5 + v, v % 2, 1, v};
    for (int z = 0; z < 4; ++z)
        b.additionalZones[z] = {120.0f + z, 200.0f + z, 1.0f + z};
    b.autosamplerInUse = 1;
    b.autosampler = {2, 8, 2, 3, 4, 5, 6, 7, 1.5f, 3, 1};

    const ValveSlots slots = valveSlots({});
    const KalderRunSettings rs = runSettingsFromBlock(b, {}, slots, kKalderAllPages);
    EXPECT_TRUE(rs.given);
    EXPECT_EQ(rs.gas[1].pressureSet, 11);  // mode 1: the set value is a pressure
    EXPECT_EQ(rs.gas[2].velocityTarget, 12);
    EXPECT_EQ(rs.gas[8].flowTolerance, 2.5);  // hydrogen
    EXPECT_EQ(rs.gas[9].flowTolerance, 3.5);  // air
    const PelvioSettings pelvio = pelvioFromBlock(b, {});
    EXPECT_EQ(pelvio.volumeTenths, 15);

    // Through the chromatograph's registry values and back.
    const auto dir = std::filesystem::temp_directory_path() / "kalder_settings_test";
    std::filesystem::create_directories(dir);
    {
        SettingsStore store(dir / "user.reg", true);
        CKalderInstrument saved;
        saved.setRunSettings(rs);
        saved.setPelvioSettings(pelvio);
        saved.saveSettings(store, "Device0");
        CKalderInstrument loaded;
        loaded.loadSettings(store, "Device0");
        const MethodKalderSettings again =
            blockFromRunSettings(loaded.runSettings(), loaded.pelvioSettings(), slots);
        EXPECT_TRUE(again == b);
        EXPECT_EQ(again.gasSetValue[2], 12);  // a velocity target is kept too
        EXPECT_EQ(again.gasChannels[5].columnDiameter, 0.32f);
    }
    std::filesystem::remove_all(dir);

    // Only the pages asked for are taken.
    const KalderRunSettings general = runSettingsFromBlock(b, {}, slots, kKalderPageGeneral);
    EXPECT_EQ(general.programTemp[1], 80);
    EXPECT_EQ(general.ignitionAttempts, 0);
    EXPECT_EQ(general.zones[3].maxTemp, KalderZoneConfig{}.maxTemp);
}

TEST(KalderSettings, ZonesTheInstrumentHasNeedANameAndRatesNeverGoNegative) {
    MethodKalderSettings b;
    b.zoneMaximum.fill(300);
    std::array<bool, 8> present{};
    EXPECT_FALSE(checkKalderSettings(b, present));
    present[2] = true;
    EXPECT_EQ(checkKalderSettings(b, present).value_or(""),
              "Вы забыли установить название температурной зоны 2");
    b.zoneNameCode[2] = 2 * 16;  // Испаритель-1
    EXPECT_FALSE(checkKalderSettings(b, present));

    // An isothermal programme (V12 = 0) is a programme of one step.
    b.programTemperature = {100, 400, 0, 0, 0};
    EXPECT_FALSE(checkKalderSettings(b, present));
    b.programRate[0] = 10;
    EXPECT_EQ(checkKalderSettings(b, present).value_or(""),
              "Температура колонок T2 больше максимальной в контроле перегрева.");
    b.programTemperature[1] = 200;
    b.programRate[0] = -10;
    EXPECT_EQ(checkKalderSettings(b, present).value_or(""),
              "Скорость нагрева V12 должна быть больше нуля.");
    b.programRate[0] = 0;
    b.programRate[2] = 4;
    EXPECT_TRUE(checkKalderSettings(b, present)
                    .value_or("")
                    .starts_with("Скорость нагрева V12 равна нулю"));
    b.programRate = {10, 0, 0, 0};
    b.gasChannels[3].mode = 3;
    b.gasChannels[3].pressureRate[1] = -1;
    EXPECT_EQ(checkKalderSettings(b, present).value_or(""),
              "Скорость программы газа 4 V23 не может быть отрицательной.");
    // A negative rate only matters to a programmed channel.
    b.gasChannels[3].mode = 0;
    EXPECT_FALSE(checkKalderSettings(b, present));
}

// A channel whose operator chose not to use the method's instrument settings.
class OwnSettingsChannel : public SampleChannel {
  public:
    using SampleChannel::SampleChannel;
    bool useMethodSettings() const override { return false; }
};

TEST(KalderSettings, AMethodStartedOnAChannelLoadsItsBlockOnlyWhenAskedTo) {
    const auto dir = std::filesystem::temp_directory_path() / "kalder_settings_methods";
    std::filesystem::create_directories(dir);
    CProgramSettings::instance().update([&](ProgramOptions& o) {
        o.methodPath = dir.string();
        o.accessLevel = 2;
    });
    Method m;
    m.kalder.emplace();
    m.kalder->programTemperature = {77, 0, 0, 0, 0};
    m.kalder->zoneMaximum.fill(300);
    {
        std::ofstream out(dir / "Изотерма.mtd", std::ios::binary);
        out << writeMethodFile(m);
    }
    CKalderInstrument device;
    ASSERT_TRUE(device.init(0, [](CDevice& d, int i) -> std::unique_ptr<AcquisitionChannel> {
        if (i == 0)
            return std::make_unique<OwnSettingsChannel>(d, i);
        return std::make_unique<SampleChannel>(d, i);
    }));
    device.channel(0).setMethodName("Изотерма");
    device.onMethodStarted(0);
    EXPECT_FALSE(device.runSettings().given);
    EXPECT_EQ(device.runSettings().programTemp[0], 0);

    device.channel(1).setMethodName("Изотерма");
    device.onMethodStarted(1);
    EXPECT_TRUE(device.runSettings().given);
    EXPECT_EQ(device.runSettings().programTemp[0], 77);

    // A damaged method changes nothing and is reported as such.
    {
        std::ofstream out(dir / "Испорчен.mtd", std::ios::binary);
        out << writeMethodFile(m).substr(0, 40);
    }
    EXPECT_FALSE(loadMethodIntoKalder(device, "Испорчен", 2).ok());
    EXPECT_EQ(device.runSettings().programTemp[0], 77);
    // A method without the chromatograph's block leaves its settings alone.
    {
        std::ofstream out(dir / "Без блока.mtd", std::ios::binary);
        out << writeMethodFile(Method{});
    }
    EXPECT_TRUE(loadMethodIntoKalder(device, "Без блока", 2).ok());
    EXPECT_EQ(device.runSettings().programTemp[0], 77);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zelmora
