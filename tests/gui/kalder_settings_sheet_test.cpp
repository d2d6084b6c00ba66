// The chromatograph's settings sheet: every page loaded from the simulated
// chromatograph and applied back into its parameter store, the settings
// written into a method and read back field by field, methods that must not
// be rewritten, the checks before applying, zone names that differ, and a
// method started with its instrument settings.

// The simulator's headers name a field "signals": they come before Qt's
// keyword macros.
#include "instruments/sim/kalder_pty_simulator.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <bit>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/program_settings.h"
#include "app/text.h"
#include "app/work_log.h"
#include "gui/instruments/kalder_settings_sheet.h"
#include "gui/method/mtd_capture.h"
#include "gui_test_support.h"
#include "instruments/kalder_instrument.h"
#include "instruments/kalder_modules.h"
#include "method/method_file.h"
#include "method/method_sheet.h"

using zelmora::CKalderInstrument;
using zelmora::KalderSheetData;
using zelmora::MethodKalderSettings;
using zelmora::gui::CZelmoraKalderSettings;
using zelmora::guitest::MessageLog;
namespace fs = std::filesystem;
namespace kalder = zelmora::kalder;

namespace {

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string workLog() {
    return zelmora::text::fromCp1251(readBytes(zelmora::CWorkLog::instance().path()));
}

void setAccessLevel(int level) {
    zelmora::CProgramSettings::instance().update(
        [&](zelmora::ProgramOptions& o) { o.accessLevel = level; });
}

std::uint32_t bits(float f) {
    return std::bit_cast<std::uint32_t>(f);
}

// A block whose every field has a value of its own that the pages can
// show exactly (the boxes' decimals), with T5 and V45 at 0 as a method
// file keeps them.
KalderSheetData distinctSettings() {
    KalderSheetData d;
    MethodKalderSettings& b = d.block;
    float k = 1;
    auto next = [&k](float step = 1) { return k += step; };
    for (int z = 0; z < 8; ++z) {
        b.zoneTemperature[z] = z == 0 ? 0 : 100 + next();
        b.zoneNameCode[z] = 16 * (z + 1) + z % 3;
        b.zoneMaximum[z] = 300 + next();
        b.zoneTolerance[z] = 0.25f * next();
    }
    b.programTemperature = {40.5f, 60.5f, 80.5f, 100.5f, 0};
    b.programIsotherm = {1.25f, 2.5f, 3.75f, 4.5f, 5.25f};
    b.programRate = {5.5f, 6.5f, 7.5f, 0};
    for (int c = 0; c < 12; ++c) {
        auto& g = b.gasChannels[c];
        g.gasType = c % 5;
        g.mode = c % 12 == 4 ? 4 : c % 3;
        g.columnLength = 10 + next();
        g.columnDiameter = 0.25f + 0.125f * float(c);
        g.pressure = {0.5f + c, 1.5f + c, 2.5f + c};
        g.pressureTime = {1.5f + c, 2.25f + c};
        g.pressureRate = {0.125f * (c + 1), 0.25f * (c + 1)};
        b.gasSetValue[c] = g.mode == 4 ? g.pressure[0] : 20 + next(0.5f);
    }
    b.carrierTolerance = 1.25f;
    b.hydrogenTolerance = 2.5f;
    b.airTolerance = 3.75f;
    b.pressureTolerance = 0.125f;
    b.flameLevel = 0.375f;
    b.invertDetector = {1, 0, 1, 0};
    b.columnBelowDetector = 0;
    b.ignitionAttempts = 3;
    b.bridgeVoltage = {5.5f, 6.25f, 7.75f, 8.5f};
    b.balance = {-12.5f, 33.5f, 99.5f, -100};
    b.autosamplerInUse = 1;
    b.closeFlap = 1;
    b.buttonFunction = {3, 17};
    b.readinessDelaySeconds = 25;
    b.silentMode = 0;
    for (int v = 0; v < 4; ++v)
        b.valves[v] = {0.5 + v, 1.75 + v, v % 2, (v + 1) % 2, 3 - v};
    for (int z = 0; z < 4; ++z)
        b.additionalZones[z] = {150.5f + z, 250.5f + z, 1.5f + z};
    b.autosampler = {2, 9, 3, 4, 6, 5, 8, 7, 2.5f, 5, 1};
    d.auxSelector = {24, 85, 3, 60};
    d.startsAllChannels = true;
    d.noWaitProgramme = true;
    return d;
}

}  // namespace

class KalderSettingsSheetTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    fs::path methods_;
    std::unique_ptr<zelmora::sim::KalderPtySimulator> sim_;
    std::unique_ptr<CKalderInstrument> device_;

    fs::path methodFile(const std::string& name) const { return methods_ / (name + ".mtd"); }

    // The simulated chromatograph with its composition and zone names known.
    bool connectDevice() {
        auto c = zelmora::sim::defaultKalderConfig();
        c.speed = 40;
        // The conductivity detector's balance and the valve block's
        // position word are kept by the modules.
        c.modules[1].params[7] = 0;
        c.modules[3].params[4] = 0;
        sim_ = std::make_unique<zelmora::sim::KalderPtySimulator>(c);
        std::string error;
        if (!sim_->start(&error))
            return false;
        device_ = std::make_unique<CKalderInstrument>(1);
        device_->init(0);
        device_->setPortPath(sim_->path());
        device_->setWriterPeriodsMs(5, 20);
        if (!device_->open().ok())
            return false;
        return QTest::qWaitFor(
            [&] {
                return device_->compositionKnown() && device_->runStates().zonePresent(1) &&
                       device_->runStates().reportedZoneCode(4) >= 0;
            },
            15000);
    }

    std::optional<std::uint32_t> cpu(std::uint16_t n) {
        return sim_->withModel([n](zelmora::sim::KalderModel& m) { return m.cpuParam(n); });
    }
    std::optional<std::uint32_t> moduleParam(std::uint8_t address, std::uint16_t n) {
        return sim_->withModel([&](zelmora::sim::KalderModel& m) -> std::optional<std::uint32_t> {
            for (const auto& mod : m.modules())
                if (mod.address == address) {
                    const auto it = mod.params.find(n);
                    if (it != mod.params.end())
                        return it->second;
                }
            return std::nullopt;
        });
    }
    bool waitCpu(std::uint16_t n, std::uint32_t v) {
        return QTest::qWaitFor([&] { return cpu(n) == v; }, 10000);
    }
    bool waitModule(std::uint8_t a, std::uint16_t n, std::uint32_t v) {
        return QTest::qWaitFor([&] { return moduleParam(a, n) == v; }, 10000);
    }

  private slots:
    void initTestCase() {
        if (!zelmora::CWorkLog::instance().active())
            zelmora::CWorkLog::instance().start({}, "test", "test");
        methods_ = fs::path(dir_.path().toStdString()) / "Методы";
        fs::create_directories(methods_);
        zelmora::CProgramSettings::instance().update([&](zelmora::ProgramOptions& o) {
            o.methodPath = methods_.string();
            o.checkViewNoMethod = true;
            o.autoGenerateMethod = false;
            o.accessLevel = 2;
        });
    }
    void cleanup() {
        device_.reset();
        sim_.reset();
        setAccessLevel(2);
    }

    void everyPageLoadsFromTheChromatographAndAppliesBack() {
        QVERIFY(connectDevice());
        zelmora::KalderRunSettings rs = device_->runSettings();
        rs.given = true;
        rs.programTemp = {55, 90, 0, 0, 0};
        rs.programTime = {2, 3, 1, 1, 1};
        rs.programRate = {7, 0, 0, 0};
        rs.zones[1].setTemp = 180;
        rs.zones[2].setTemp = 230;
        rs.zones[4].setTemp = 240;
        rs.gas[0].flowSet = 30;
        rs.ignitionAttempts = 2;
        rs.readyDelaySeconds = 15;
        device_->setRunSettings(rs);
        zelmora::PelvioSettings pelvio = device_->pelvioSettings();
        pelvio.firstVial = 4;
        device_->setPelvioSettings(pelvio);
        device_->setAuxSelector(1, 85);

        CZelmoraKalderSettings sheet(device_.get(), 4);
        QCOMPARE(sheet.windowTitle(), QStringLiteral("Установки хроматографа  (прибор 1)"));
        QStringList titles;
        for (int i = 0; i < sheet.tabs()->count(); ++i)
            titles << sheet.tabs()->tabText(i);
        QCOMPARE(titles, (QStringList{"Общие", "Дополнительные", "Контроль", "Краны/Т.Зоны",
                                      "Pelvio", "Наладка", "Ошибки"}));

        // Loaded from the chromatograph.
        auto* cm = sheet.general();
        QCOMPARE(cm->temperature[0]->value(), 55.0);
        QCOMPARE(cm->temperature[1]->value(), 90.0);
        QCOMPARE(cm->rate[0]->value(), 7.0);
        QCOMPARE(cm->isotherm[1]->value(), 3.0);
        QCOMPARE(cm->zoneSet[1]->value(), 180.0);
        QCOMPARE(cm->zoneName[1]->text(), QStringLiteral("Испаритель-1"));
        QCOMPARE(cm->gasSet[0]->value(), 30.0);
        // 2 + |90 - 55| / 7 + 3
        QCOMPARE(cm->programmeTimeText(), QStringLiteral("Время программы: 10.00 мин"));
        auto* dop = sheet.additional();
        QCOMPARE(dop->ignitionAttempts->value(), 2);
        QCOMPARE(dop->readinessDelay->value(), 15);
        QCOMPARE(dop->aux[1]->currentText(), QStringLiteral("Сеть 220В"));
        QCOMPARE(dop->composition->text(), QStringLiteral("ИМТ1 ДТП1 ГН12 Крн12"));
        QCOMPARE(sheet.pelvio()->firstVial->value(), 4);
        QVERIFY(QTest::qWaitFor([&] { return sheet.monitor()->mains->text() != "—"; }, 3000));
        QVERIFY(sheet.service()->modules->rowCount() == 4);

        // Every page changed as the operator would.
        cm->temperature[0]->setValue(80);
        cm->temperature[1]->setValue(150);
        cm->isotherm[0]->setValue(4);
        cm->rate[0]->setValue(10);
        cm->zoneSet[1]->setValue(210);
        cm->gasSet[0]->setValue(25);
        dop->zoneMax[1]->setValue(250);
        dop->zoneMax[2]->setValue(300);  // the detector zones, above the programme
        dop->zoneMax[4]->setValue(300);
        dop->zoneMax[0]->setValue(350);
        dop->balance[1]->setValue(12.5);
        dop->columnBelowDetector->setChecked(true);
        dop->aux[0]->setCurrentIndex(26);
        sheet.valves()->initial[0]->setCurrentIndex(1);
        sheet.pelvio()->lastVial->setValue(7);
        QTest::mouseClick(sheet.applyButton(), Qt::LeftButton);

        // The simulated chromatograph's parameter store has what was written.
        QVERIFY(waitCpu(8, bits(80)));
        QVERIFY(waitCpu(9, bits(150)));
        QVERIFY(waitCpu(16, bits(4)));
        QVERIFY(waitCpu(24, bits(10)));
        QVERIFY(waitCpu(12, bits(0)));  // T5 and V45: the programme runs four steps
        QVERIFY(waitCpu(27, bits(0)));
        QVERIFY(waitCpu(33, bits(210)));
        QVERIFY(waitCpu(41, bits(250)));
        QVERIFY(waitCpu(40, bits(350)));
        QVERIFY(waitCpu(174, 1));
        const auto gas = kalder::moduleAddress(kalder::kClassGasPair, 0);
        const auto dtp = kalder::moduleAddress(kalder::kClassConductivity, 0);
        const auto valves = kalder::moduleAddress(kalder::kClassValves2, 0);
        QVERIFY(waitModule(gas, 1, bits(25)));
        QVERIFY(waitModule(dtp, 7, bits(12.5f)));
        QVERIFY(waitModule(valves, 4, 1));
        QCOMPARE(device_->pelvioSettings().lastVial, 7);
        QCOMPARE(device_->auxSelector(0), 26);
        QVERIFY(device_->runSettings().columnBelowDetector);

        // A picture of every page, as a test artefact.
        const QString folder = QStringLiteral(QT_TESTCASE_BUILDDIR "/kalder_sheet_pages");
        QDir().mkpath(folder);
        sheet.show();
        for (int i = 0; i < sheet.tabs()->count(); ++i) {
            sheet.tabs()->setCurrentIndex(i);
            QTest::qWait(50);
            QVERIFY(sheet.grab().save(folder + QStringLiteral("/%1.png").arg(i + 1)));
        }
        CZelmoraKalderSettings methodBlock(nullptr, 2);
        methodBlock.show();
        QVERIFY(methodBlock.grab().save(folder + QStringLiteral("/method_block.png")));
    }

    void settingsTravelThroughAMethodFile() {
        MessageLog log;
        log.fallback = QMessageBox::Cancel;  // keep the programme time as it is
        QVERIFY(zelmora::guitest::writeDemoMethod("Калдер"));
        const KalderSheetData want = distinctSettings();
        CZelmoraKalderSettings from(nullptr, 4);
        from.setValues(want);
        QCOMPARE(from.values(), want);  // the pages show every field exactly
        QVERIFY(from.copyToMethod("Калдер"));

        zelmora::Method m;
        QVERIFY(zelmora::readMethodFile(readBytes(methodFile("Калдер")), m).ok());
        QVERIFY(m.kalder.has_value());
        QVERIFY(*m.kalder == want.block);
        QCOMPARE(m.capture.analysisTime, zelmora::demoMethod().capture.analysisTime);

        CZelmoraKalderSettings to(nullptr, 4);
        QVERIFY(to.values().block != want.block);
        QVERIFY(to.copyFromMethod("Калдер"));
        QVERIFY(to.changed());
        QVERIFY(to.values().block == want.block);

        // A method without the chromatograph's settings leaves the sheet as it is.
        QVERIFY(zelmora::guitest::writeDemoMethod("Без прибора"));
        CZelmoraKalderSettings plain(nullptr, 4);
        const KalderSheetData before = plain.values();
        QVERIFY(!plain.copyFromMethod("Без прибора"));
        QVERIFY(log.saw(QStringLiteral("Метод не содержит настроек пибора")));
        QCOMPARE(plain.values(), before);
    }

    void methodsThatCannotBeReadAreNeverRewritten() {
        MessageLog log;
        log.fallback = QMessageBox::Yes;
        CZelmoraKalderSettings sheet(nullptr, 4);
        sheet.setValues(distinctSettings());

        // A damaged method file stays byte for byte as it was.
        QVERIFY(zelmora::guitest::writeDemoMethod("Испорчен"));
        std::string bytes = readBytes(methodFile("Испорчен"));
        bytes.resize(bytes.size() / 2);
        bytes[10] = '\x7f';
        {
            std::ofstream out(methodFile("Испорчен"), std::ios::binary | std::ios::trunc);
            out << bytes;
        }
        QVERIFY(!sheet.copyToMethod("Испорчен"));
        QVERIFY(log.saw(QStringLiteral("Установки прибора в метод не записаны")));
        QCOMPARE(readBytes(methodFile("Испорчен")), bytes);

        // A method that does not exist is not made out of the block alone.
        QVERIFY(!sheet.copyToMethod("Нет такого"));
        QVERIFY(!fs::exists(methodFile("Нет такого")));

        // "Начинающий" may not write into a method; "Опытный" is asked.
        QVERIFY(zelmora::guitest::writeDemoMethod("Уровни"));
        const std::string kept = readBytes(methodFile("Уровни"));
        setAccessLevel(0);
        QVERIFY(!sheet.copyToMethod("Уровни"));
        QVERIFY(log.saw(QStringLiteral("не позволяет вам записывать в метод")));
        setAccessLevel(1);
        log.answers.push_back(QMessageBox::No);
        QVERIFY(!sheet.copyToMethod("Уровни"));
        QVERIFY(log.saw(QStringLiteral("Вы действительно хотите изменить метод?")));
        QCOMPARE(readBytes(methodFile("Уровни")), kept);
        log.answers.push_back(QMessageBox::Yes);
        log.fallback = QMessageBox::Cancel;
        QVERIFY(sheet.copyToMethod("Уровни"));
        QVERIFY(readBytes(methodFile("Уровни")) != kept);
    }

    void checksBeforeApplying() {
        MessageLog log;
        CZelmoraKalderSettings sheet(nullptr, 4);
        KalderSheetData d = distinctSettings();
        sheet.setValues(d);
        QVERIFY(sheet.apply());
        QVERIFY(log.texts.isEmpty());

        auto refused = [&](auto change, const QString& message) {
            KalderSheetData bad = d;
            change(bad.block);
            sheet.setValues(bad);
            log.texts.clear();
            const bool applied = sheet.apply();
            return !applied && log.saw(message);
        };
        using B = MethodKalderSettings;
        QVERIFY(refused([](B& b) { b.balance[2] = 100.5f; },
                        "Баланс ДТП должен находиться в пределах от -100 до 100."));
        QVERIFY(refused([](B& b) { b.programTemperature[0] = b.zoneMaximum[0] + 1; },
                        "Температура колонок T1 больше максимальной в контроле перегрева."));
        QVERIFY(refused([](B& b) { b.programTemperature[2] = b.zoneMaximum[0] + 1; },
                        "Температура колонок T3 больше максимальной в контроле перегрева."));
        QVERIFY(refused(
            [](B& b) { b.zoneTemperature[3] = b.zoneMaximum[3] + 0.5f; },
            QStringLiteral("Температура зоны-3 (%1) больше чем максимально возможная")
                .arg(QString::fromStdString(zelmora::kalderZoneName(d.block.zoneNameCode[3])))));
        QVERIFY(refused(
            [](B& b) {
                b.columnBelowDetector = 1;
                b.zoneNameCode[5] = 3 * 16;  // ПИД-1
                b.zoneTemperature[5] = 70;
            },
            "Температура в програме колонок больше, чем температура детектора ПИД-1 при "
            "выбранной опции Tкол < Tдет."));
        // Heating rates: never negative, and none after a rate of 0.
        QVERIFY(refused([](B& b) { b.programRate[1] = -2; },
                        "Скорость нагрева V23 должна быть больше нуля."));
        QVERIFY(refused([](B& b) { b.programRate[0] = 0; }, "Скорость нагрева V12 равна нулю"));
        KalderSheetData negative = d;
        negative.block.programRate[0] = -5;
        sheet.setValues(negative);
        QVERIFY(sheet.general()->programmeTimeText().startsWith("Время программы: "));
        QVERIFY(!sheet.general()->programmeTimeText().contains("inf"));
        QVERIFY(!sheet.general()->programmeTimeText().contains("nan"));

        // The edge of the balance is allowed.
        KalderSheetData edge = d;
        edge.block.balance = {100, -100, 0, 0};
        sheet.setValues(edge);
        log.texts.clear();
        QVERIFY(sheet.apply());

        // The gas programme's ramps: "?" for a rate of 0, a negative rate refused.
        zelmora::GasChannelSettings g;
        g.mode = 4;
        g.pressure = {1, 2, 2};
        g.pressureRate = {0.5f, 0};
        zelmora::gui::CGasChannelDlg gasDlg(0, g);
        QCOMPARE(gasDlg.rampText(0), QStringLiteral("2.00 мин"));
        gasDlg.show();
        QVERIFY(
            gasDlg.grab().save(QStringLiteral(QT_TESTCASE_BUILDDIR "/kalder_sheet_pages/gas.png")));
        QCOMPARE(gasDlg.rampText(1), QStringLiteral("?"));
        gasDlg.rate[0]->setValue(-1);
        QCOMPARE(gasDlg.rampText(0), QStringLiteral("?"));
        log.texts.clear();
        gasDlg.accept();
        QVERIFY(log.saw(QStringLiteral("не может быть отрицательной")));
        QCOMPARE(gasDlg.result(), int(QDialog::Rejected));
    }

    void zoneNamesOfAnotherInstrumentAreRefused() {
        QVERIFY(connectDevice());
        setAccessLevel(3);
        MessageLog log;
        zelmora::KalderRunSettings rs = device_->runSettings();
        rs.given = true;
        rs.programTemp = {50, 0, 0, 0, 0};
        device_->setRunSettings(rs);

        // A method made for an instrument whose zone 1 is a detector.
        KalderSheetData other = zelmora::kalderSettingsFromDevice(*device_);
        other.block.zoneNameCode[1] = 3 * 16;  // ПИД-1
        other.block.programTemperature[0] = 65;
        other.block.programRate = {};
        other.block.zoneMaximum[0] = 400;
        zelmora::Method m = zelmora::demoMethod();
        m.kalder = other.block;
        {
            std::ofstream out(methodFile("Чужой"), std::ios::binary);
            out << zelmora::writeMethodFile(m);
        }
        const std::size_t logStart = workLog().size();
        const zelmora::Status s = zelmora::loadMethodIntoKalder(*device_, "Чужой", 3);
        QVERIFY(!s.ok());
        QVERIFY2(QString::fromStdString(s.message())
                     .contains("Зона 1 в приборе называется как \"Испаритель-1\", а в методе: "
                               "\"ПИД-1\"."),
                 s.message().c_str());
        QCOMPARE(device_->runSettings().programTemp[0], 50.0);  // "Общие" not applied
        const std::string log1 = workLog().substr(logStart);
        QVERIFY(log1.find("параметры из метода Чужой не загружены") != std::string::npos);
        QVERIFY(
            log1.find("Загружены новые параметры в прибор 1 (Zelmora Kalder) из метода Чужой") ==
            std::string::npos);

        // The sheet says the same and keeps its "Общие" page out.
        CZelmoraKalderSettings sheet(device_.get(), 3);
        sheet.setValues(other);
        QVERIFY(!sheet.apply());
        QVERIFY(
            log.saw(QStringLiteral("Наименования температурных зон в приборе и методе различны")));
        QCOMPARE(device_->runSettings().programTemp[0], 50.0);

        // At the service levels the method's settings go in.
        QVERIFY(zelmora::loadMethodIntoKalder(*device_, "Чужой", 4).ok());
        QCOMPARE(device_->runSettings().programTemp[0], 65.0);
    }

    void applyingDuringAnAnalysisAsksFirst() {
        QVERIFY(connectDevice());
        zelmora::KalderRunSettings rs = device_->runSettings();
        rs.given = true;
        rs.programTemp = {50, 0, 0, 0, 0};
        device_->setRunSettings(rs);
        device_->runStates().setRunState(6);
        CZelmoraKalderSettings sheet(device_.get(), 2);
        MessageLog log;

        sheet.general()->temperature[0]->setValue(61);
        log.answers.push_back(QMessageBox::Cancel);
        QVERIFY(!sheet.apply());
        QVERIFY(log.saw(QStringLiteral("Продолжить выполнение температурной программы")));
        QCOMPARE(device_->runSettings().programTemp[0], 50.0);  // Cancel applies nothing

        log.answers.push_back(QMessageBox::Yes);  // applied, the analysis goes on
        QVERIFY(sheet.apply());
        QCOMPARE(device_->runSettings().programTemp[0], 61.0);
        QCOMPARE(device_->runState(), 6);

        sheet.general()->temperature[0]->setValue(62);
        log.answers.push_back(QMessageBox::No);  // applied, the programme starts again
        QVERIFY(sheet.apply());
        QCOMPARE(device_->runSettings().programTemp[0], 62.0);
        QCOMPARE(device_->runState(), 1);
        QVERIFY(waitCpu(8, bits(62)));
    }

    void copyFromAnotherSheetAndTheMethodEditor() {
        // CopyFrom takes the pages a method carries, not the chromatograph's own choices.
        CZelmoraKalderSettings source(nullptr, 4);
        source.setValues(distinctSettings());
        CZelmoraKalderSettings target(nullptr, 4);
        const KalderSheetData own = target.values();
        target.CopyFrom(source);
        QVERIFY(target.values().block == distinctSettings().block);
        QCOMPARE(target.values().auxSelector, own.auxSelector);
        QVERIFY(target.changed());

        // The method editor's "Редактировать" of the chromatograph's block.
        zelmora::gui::setMethodInstrumentEditors(&zelmora::gui::editMethodKalderSettings, {});
        zelmora::Method method = zelmora::demoMethod();
        method.kalder = distinctSettings().block;
        zelmora::gui::CMtdCapture capture(method);
        QVERIFY(capture.editButton(zelmora::gui::CMtdCapture::kKalderRow)->isEnabled());
        QTimer::singleShot(0, [] {
            auto* sheet = qobject_cast<CZelmoraKalderSettings*>(QApplication::activeModalWidget());
            QVERIFY(sheet != nullptr);
            QVERIFY(!sheet->applyButton()->isVisible());
            QVERIFY(sheet->toMethodButton() == nullptr);
            sheet->general()->isotherm[0]->setValue(9.5);
            sheet->accept();
        });
        capture.editSettings(zelmora::gui::CMtdCapture::kKalderRow);
        zelmora::gui::setMethodInstrumentEditors({}, {});
        QCOMPARE(method.kalder->programIsotherm[0], 9.5f);
        QCOMPARE(method.kalder->programTemperature[1],
                 distinctSettings().block.programTemperature[1]);
    }

    void aMethodStartedWithItsInstrumentSettings() {
        QVERIFY(connectDevice());
        KalderSheetData own = zelmora::kalderSettingsFromDevice(*device_);
        own.block.programTemperature = {72, 0, 0, 0, 0};
        own.block.programRate = {};
        own.block.zoneMaximum[0] = 300;
        own.block.zoneTemperature[1] = 155;
        own.block.zoneMaximum[1] = 300;
        zelmora::Method m = zelmora::demoMethod();
        m.kalder = own.block;
        {
            std::ofstream out(methodFile("Свой"), std::ios::binary);
            out << zelmora::writeMethodFile(m);
        }
        const std::size_t logStart = workLog().size();
        device_->channel(0).setMethodName("Свой");
        device_->onMethodStarted(0);
        QCOMPARE(device_->runSettings().programTemp[0], 72.0);
        QCOMPARE(device_->lastLoadMethod(), std::string("Свой"));
        QVERIFY(workLog().substr(logStart).find(
                    "  Загружены новые параметры в прибор 1 (Zelmora Kalder) из метода "
                    "Свой") != std::string::npos);
        QVERIFY(waitCpu(8, bits(72)));
        QVERIFY(waitCpu(33, bits(155)));
        CZelmoraKalderSettings sheet(device_.get(), 2);
        QCOMPARE(sheet.windowTitle(),
                 QStringLiteral("Установки хроматографа  (прибор 1) метод:Свой"));
        QCOMPARE(sheet.general()->temperature[0]->value(), 72.0);
    }
};

QTEST_MAIN(KalderSettingsSheetTest)
#include "kalder_settings_sheet_test.moc"
