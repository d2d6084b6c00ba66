// The electrochemical detector's settings page: hidden device buttons and
// "Прибор не подключён" without a detector, values snapped to the
// detector's grids on "Применить", and the detector block copied into and
// out of a method file (refused with the system's warning when the method
// has none).

#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "gui/instruments/ehd_settings_pg.h"
#include "gui_test_support.h"
#include "instruments/ehd_detector.h"
#include "method/method_sheet.h"

using namespace zelmora;

class EhdSettingsTest : public QObject {
    Q_OBJECT
  private slots:
    void pageOfAMethodHasNoDeviceButtons() {
        gui::CEhdSettingsPage page(nullptr);
        QVERIFY(page.applyButton()->isHidden());
        QVERIFY(page.fromMethodButton()->isHidden());
        QVERIFY(page.toMethodButton()->isHidden());
        QCOMPARE(page.statusLabel()->text(), QString("Прибор не подключён"));
        QCOMPARE(page.values(), MethodEhdSettings{});
        QCOMPARE(page.detectorTemperatureBox()->maximum(), 50.0);
    }

    void applySnapsToTheDetectorsGrids() {
        CEhdDetector device;
        QVERIFY(device.init(0));
        gui::CEhdSettingsPage page(&device);
        // Not connected: the page still edits the wanted settings it is given.
        QVERIFY(page.applyButton()->isHidden());
        page.detectorTemperatureBox()->setValue(33.3);
        page.measuringPotentialBox()->setValue(0.7);
        page.cleaningTimeBox()->setValue(130);
        page.apply();
        const EhdSettings w = device.wanted();
        QCOMPARE(w.detectorTemperature, wire::ehdTemperatureCode(33.3));
        QCOMPARE(w.cleaningTime, 3);  // 130 s is the 120 s step
        QCOMPARE(device.runState(), 1);
        // The page shows what the detector will do, rounded up.
        QCOMPARE(page.detectorTemperatureBox()->value(), 33.3);
        QCOMPARE(page.cleaningTimeBox()->value(), 120.0);
        QCOMPARE(page.measuringPotentialBox()->value(), 0.7);
        QCOMPARE(gui::roundUpToStep(33.2845, 0.1), 33.3);
        QCOMPARE(gui::roundUpToStep(0.5, 0.01), 0.5);
        page.resize(560, 560);
        page.grab().save(QDir::temp().filePath("ehd_settings.png"));
    }

    void copiesTheBlockIntoAndOutOfAMethod() {
        guitest::MessageLog log;
        QVERIFY(guitest::writeDemoMethod("Без детектора"));
        CEhdDetector device;
        QVERIFY(device.init(0));
        gui::CEhdSettingsPage page(&device);
        QVERIFY(!page.copyFromMethod("Без детектора"));
        QVERIFY(log.saw("Метод не содержит настроек пибора"));
        QCOMPARE(log.captions.last(), QString("Предупреждение"));
        QVERIFY(!page.copyFromMethod("Нет такого"));

        page.detectorTemperatureBox()->setValue(41);
        QVERIFY(page.copyToMethod("Без детектора"));
        CMethodSheet sheet;
        QVERIFY(sheet.ReadMethod("Без детектора").ok());
        QVERIFY(sheet.hasEhdSettings());
        QVERIFY(std::fabs(sheet.method().ehd->detectorTemperature - 41) < 0.03);
        // The rest of the method is as it was.
        Method withoutBlock = sheet.method();
        withoutBlock.ehd.reset();
        QVERIFY(withoutBlock == demoMethod());

        page.detectorTemperatureBox()->setValue(25);
        QVERIFY(page.copyFromMethod("Без детектора"));
        QCOMPARE(page.detectorTemperatureBox()->value(), 41.0);
    }
};

QTEST_MAIN(EhdSettingsTest)
#include "ehd_settings_test.moc"
