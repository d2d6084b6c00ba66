// The device list in the settings, the menu model and the command ids.

#include <gtest/gtest.h>

#include "app/settings_store.h"
#include "instruments/demo_adc.h"
#include "instruments/detector_adc.h"
#include "instruments/device_manager.h"
#include "instruments/device_menu.h"
#include "instruments/device_types.h"
#include "instruments/ostrel_adc.h"
#include "instruments/varsel_adc.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

const std::string kRoot = kRootKey;

TEST(DeviceTypes, NamesChannelsAndCommands) {
    EXPECT_STREQ(deviceTypeName(3), "Zelmora КД+АЦП");
    EXPECT_STREQ(deviceTypeName(9), "???");
    EXPECT_STREQ(deviceTypeName(-1), "???");
    EXPECT_EQ(deviceChannelCount(0), 8);
    EXPECT_EQ(deviceChannelCount(4), 0);
    EXPECT_EQ(deviceChannelCount(5), 3);
    EXPECT_FALSE(deviceHasPort(5));
    EXPECT_DOUBLE_EQ(deviceSampleRate(1, 3), 20.0);
    EXPECT_DOUBLE_EQ(deviceSampleRate(1, 4), 5.0);
    EXPECT_DOUBLE_EQ(deviceSampleRate(6, 0), 14.06);
    EXPECT_DOUBLE_EQ(deviceSampleRate(7, 0), 4.0);
    EXPECT_EQ(parseDeviceType("ostrel"), 2);
    EXPECT_EQ(parseDeviceType("флюорат"), 7);
    EXPECT_EQ(parseDeviceType("8"), 8);
    EXPECT_FALSE(parseDeviceType("9"));

    auto d = command::decode(40100 + 8 * 3 + 2);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind, command::Kind::RunMethod);
    EXPECT_EQ(d->device, 3);
    EXPECT_EQ(d->channel, 2);
    d = command::decode(40009);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind, command::Kind::Connect);
    EXPECT_EQ(d->device, 9);
    EXPECT_EQ(command::decode(40179)->kind, command::Kind::RunMethod);
    EXPECT_EQ(command::decode(40180)->kind, command::Kind::Stop);
    EXPECT_EQ(command::decode(40419)->kind, command::Kind::PanelStart);
    EXPECT_FALSE(command::decode(40420));
    EXPECT_FALSE(command::decode(39999));
}

TEST(DeviceManager, AddsUpToTenKnownDevices) {
    test::TempDir dir;
    SettingsStore store(dir / "s.reg", true);
    CDeviceManager m(store);
    EXPECT_EQ(m.add(9), nullptr);
    EXPECT_EQ(m.add(-1), nullptr);
    for (int i = 0; i < 10; ++i) {
        CDevice* d = m.add(i % 9);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->deviceIndex(), i);
        EXPECT_EQ(d->channelCount(), deviceChannelCount(i % 9));
    }
    EXPECT_EQ(m.add(2), nullptr);  // the eleventh
    EXPECT_EQ(m.count(), 10);
    // A device whose driver is not in this build cannot be connected.
    const Status opened = m.device(0).open();
    EXPECT_FALSE(opened);
    EXPECT_NE(opened.message().find("Zelmora Sovant"), std::string::npos);
}

TEST(DeviceManager, SavesLoadsMovesAndReplaces) {
    test::TempDir dir;
    const auto file = dir / "s.reg";
    {
        SettingsStore store(file, true);
        // A chromatograph entry written by a full installation, with a
        // subkey, and the shared settings of older converter versions.
        store.setInt(kRoot, "ADCCount", 3);
        store.setInt(kRoot + "\\ADC_0", "ID", 1);
        store.setInt(kRoot + "\\ADC_0", "ComPort", 4);
        store.setString(kRoot + "\\ADC_0", "GaseSet_1_2", "0.5");
        store.setInt(kRoot + "\\ADC_0\\Modules", "Count", 7);
        store.setInt(kRoot + "\\ADC_1", "ID", 2);
        store.setInt(kRoot + "\\ADC_1", "CheckChn2", 1);
        store.setInt(kRoot + "\\ADC_1", "InUse1", 0);
        store.setString(kRoot + "\\ADC_1", "LastMethod0", "Газ.mtd");
        store.setInt(kRoot + "\\ADC_2", "ID", 3);
        store.setInt(kRoot + "\\Ostrel", "OffSet", 512);
        store.setInt(kRoot + "\\Ostrel", "Temperature", 40);
        store.setInt(kRoot + "\\ADC_5", "ID", 2);  // left over, beyond the count
        ASSERT_TRUE(store.flush());
    }
    {
        SettingsStore store(file, true);
        ASSERT_EQ(store.load(), SettingsStore::LoadStatus::Loaded);
        CDeviceManager m(store);
        m.load();
        ASSERT_EQ(m.count(), 3);
        EXPECT_EQ(m.device(0).type(), 1);
        EXPECT_EQ(m.device(0).portIndex(), 4);
        auto& ostrel = dynamic_cast<COstrelAdc&>(m.device(1));
        EXPECT_TRUE(ostrel.invert(1));
        EXPECT_FALSE(ostrel.invert(0));
        EXPECT_TRUE(ostrel.channel(0).inUse());
        EXPECT_FALSE(ostrel.channel(1).inUse());
        EXPECT_EQ(ostrel.channel(0).methodName(), "Газ.mtd");
        EXPECT_EQ(ostrel.portIndex(), kDefaultPortIndex);
        auto& kd = dynamic_cast<CDetectorAdc&>(m.device(2));
        EXPECT_EQ(kd.settings().offset, 512);  // from the shared key
        EXPECT_EQ(kd.settings().temperature, 40);

        // A second КД+АЦП keeps its own settings.
        auto* kd2 = dynamic_cast<CDetectorAdc*>(m.add(3));
        ASSERT_NE(kd2, nullptr);
        EXPECT_TRUE(kd2->applySettings({100, 20, true}));
        EXPECT_FALSE(kd2->applySettings({0, 20, false}));
        EXPECT_FALSE(kd2->applySettings({100, 101, false}));
        EXPECT_EQ(kd2->settings().offset, 100);

        // The chromatograph moves to the end, carrying its values.
        EXPECT_TRUE(m.moveDown(0));
        EXPECT_TRUE(m.moveDown(1));
        EXPECT_TRUE(m.moveDown(2));
        EXPECT_FALSE(m.moveDown(3));
        EXPECT_FALSE(m.moveUp(0));
        EXPECT_EQ(m.device(3).type(), 1);
        EXPECT_EQ(m.device(3).deviceIndex(), 3);
        EXPECT_EQ(m.device(0).type(), 2);
        EXPECT_EQ(m.device(0).deviceIndex(), 0);
        const Status saved = m.save();
        ASSERT_TRUE(saved) << saved.message();
    }
    {
        SettingsStore store(file, true);
        ASSERT_EQ(store.load(), SettingsStore::LoadStatus::Loaded);
        EXPECT_FALSE(store.hasKey(kRoot + "\\ADC_5"));
        EXPECT_EQ(store.readInt(kRoot + "\\ADC_3", "ID", -1), 1);
        EXPECT_EQ(store.readString(kRoot + "\\ADC_3", "GaseSet_1_2"), "0.5");
        EXPECT_EQ(store.readInt(kRoot + "\\ADC_3\\Modules", "Count", 0), 7);
        EXPECT_EQ(store.readInt(kRoot + "\\ADC_3", "ComPort", 0), 4);
        EXPECT_EQ(store.readInt(kRoot + "\\ADC_1", "OffSet", 0), 512);
        EXPECT_EQ(store.readInt(kRoot + "\\ADC_2", "OffSet", 0), 100);
        EXPECT_EQ(store.readInt(kRoot + "\\ADC_2", "Invert", 0), 1);
        EXPECT_EQ(store.readInt(kRoot + "\\ADC_0", "CheckChn2", 0), 1);

        CDeviceManager m(store);
        m.load();
        ASSERT_EQ(m.count(), 4);
        EXPECT_EQ(dynamic_cast<CDetectorAdc&>(m.device(1)).settings().offset, 512);
        EXPECT_EQ(dynamic_cast<CDetectorAdc&>(m.device(2)).settings().offset, 100);
        EXPECT_TRUE(dynamic_cast<CDetectorAdc&>(m.device(2)).settings().invert);

        m.device(0).setPortIndex(6);
        CDevice* v = m.replace(0, 8);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type(), 8);
        EXPECT_EQ(v->portIndex(), 6);
        EXPECT_EQ(m.replace(0, 9), nullptr);
        EXPECT_EQ(m.device(0).type(), 8);
        EXPECT_TRUE(m.remove(1));
        EXPECT_EQ(m.count(), 3);
        EXPECT_EQ(m.device(1).deviceIndex(), 1);
        EXPECT_EQ(m.device(1).type(), 3);
        EXPECT_FALSE(m.remove(3));
    }
}

// A КД+АЦП put into the list by the operator takes the offset and
// temperature its detector was last set to, and keeps them through the save
// at exit, instead of starting (and sending) zeros.
TEST(DeviceManager, DetectorConverterAddedOrReplacedKeepsItsStoredSettings) {
    test::TempDir dir;
    const auto file = dir / "s.reg";
    {
        SettingsStore store(file, true);
        CDeviceManager m(store);
        auto* kd = dynamic_cast<CDetectorAdc*>(m.add(3));
        ASSERT_NE(kd, nullptr);
        ASSERT_TRUE(kd->applySettings({600, 45, true}));
        ASSERT_TRUE(m.save());
    }
    SettingsStore store(file, true);
    ASSERT_EQ(store.load(), SettingsStore::LoadStatus::Loaded);
    CDeviceManager m(store);
    m.load();
    ASSERT_EQ(m.count(), 1);
    ASSERT_TRUE(m.remove(0));
    auto* added = dynamic_cast<CDetectorAdc*>(m.add(3));
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->settings().offset, 600);
    EXPECT_EQ(added->settings().temperature, 45);
    EXPECT_TRUE(added->settings().invert);
    const auto command = added->pendingCommand();
    ASSERT_TRUE(command);
    EXPECT_EQ(*command, wire::buildDetectorCommand(600, 45));

    ASSERT_NE(m.add(2), nullptr);
    auto* replaced = dynamic_cast<CDetectorAdc*>(m.replace(1, 3));
    ASSERT_NE(replaced, nullptr);
    EXPECT_EQ(replaced->settings().offset, 600);
    EXPECT_EQ(replaced->settings().temperature, 45);

    ASSERT_TRUE(m.save());
    for (const std::string& key : {CDeviceManager::deviceKey(0), CDeviceManager::deviceKey(1)}) {
        EXPECT_EQ(store.readInt(key, "OffSet", 0), 600) << key;
        EXPECT_EQ(store.readInt(key, "Temperature", 0), 45) << key;
    }
}

TEST(DeviceManager, MapsPortsToDeviceFiles) {
    test::TempDir dir;
    SettingsStore store(dir / "s.reg", true);
    CDeviceManager m(store);
    EXPECT_EQ(m.portPath(0), "/dev/ttyS0");
    EXPECT_EQ(m.portPath(2), "/dev/ttyS2");
    EXPECT_TRUE(m.setPortPath(2, "/dev/ttyUSB0"));
    EXPECT_EQ(m.portPath(2), "/dev/ttyUSB0");
    EXPECT_EQ(store.readString(kRoot + "\\Ports", "COM3"), "/dev/ttyUSB0");
    EXPECT_TRUE(m.setPortPath(2, ""));
    EXPECT_EQ(m.portPath(2), "/dev/ttyS2");

    // An absent port fails to connect and starts nothing.
    CDevice* d = m.add(2);
    ASSERT_TRUE(m.setPortPath(2, (dir / "no-such-tty").string()));
    const Status connected = m.connect(0);
    EXPECT_FALSE(connected);
    EXPECT_FALSE(d->isRunning());
    EXPECT_FALSE(m.anyDeviceRunning());
    EXPECT_NE(connected.message().find("no-such-tty"), std::string::npos);
}

TEST(DeviceMenu, ListsDevicesAndChannelsInUse) {
    test::TempDir dir;
    SettingsStore store(dir / "s.reg", true);
    CDeviceManager m(store);
    m.add(2);
    CDevice* demo = m.add(5);
    demo->channel(1).setInUse(false);
    const auto menu = buildDeviceMenu(m);
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[0].text, "1. Zelmora Ostrel");
    EXPECT_EQ(menu[1].text, "2. Демо АЦП");
    ASSERT_EQ(menu[1].children.size(), 5u);  // connect, settings, separator, channels 1 and 3
    EXPECT_EQ(menu[1].children[0].text, "&Подключить");
    EXPECT_EQ(menu[1].children[0].commandId, 40001);
    EXPECT_EQ(menu[1].children[1].commandId, 40011);
    EXPECT_TRUE(menu[1].children[2].separator);
    EXPECT_EQ(menu[1].children[4].text, "Канал &3");
    const auto& ch3 = menu[1].children[4].children;
    ASSERT_EQ(ch3.size(), 4u);
    EXPECT_EQ(ch3[0].text, "Запустить &метод");
    EXPECT_EQ(ch3[0].commandId, 40100 + 8 + 2);
    EXPECT_EQ(ch3[1].commandId, 40020 + 10);
    EXPECT_EQ(ch3[2].commandId, 40260 + 10);
    EXPECT_EQ(ch3[3].text, "Стоп");
    EXPECT_EQ(ch3[3].commandId, 40180 + 10);

    auto st = deviceCommandState(m, 40001);
    ASSERT_TRUE(st);
    EXPECT_TRUE(st->enabled);
    EXPECT_FALSE(st->checked);
    EXPECT_FALSE(deviceCommandState(m, 40020 + 10)->enabled);  // device not running
    ASSERT_TRUE(demo->open());
    EXPECT_TRUE(deviceCommandState(m, 40001)->checked);
    EXPECT_TRUE(deviceCommandState(m, 40020 + 10)->enabled);
    EXPECT_FALSE(deviceCommandState(m, 40180 + 10)->enabled);
    dynamic_cast<SampleChannel&>(demo->channel(2)).recordNow();
    EXPECT_TRUE(deviceCommandState(m, 40180 + 10)->enabled);
    EXPECT_TRUE(deviceCommandState(m, 40020 + 10)->checked);
    EXPECT_FALSE(deviceCommandState(m, 40001)->enabled);  // no disconnect while recording
    EXPECT_FALSE(m.remove(1));
    EXPECT_FALSE(deviceCommandState(m, 40002));
    demo->channel(2).stop(true);
    demo->close();
}

}  // namespace
}  // namespace zelmora
