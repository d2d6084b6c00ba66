// The options dialog of the main window refuses a change of the access
// level past "Наладчик КИПа" while an instrument of the device list is
// connected, and allows it once every instrument is disconnected.

#include <QApplication>
#include <QButtonGroup>
#include <QTimer>
#include <QtTest>

#include "app/program_settings.h"
#include "app/settings_store.h"
#include "gui/app/programm_setup_sheet.h"
#include "gui/main_frame.h"
#include "gui_test_support.h"
#include "instruments/device_manager.h"

using zelmora::CDeviceManager;
using zelmora::gui::CMainFrame;
using zelmora::gui::CProgrammSetupSheet;
using zelmora::guitest::MessageLog;

namespace {

constexpr int kDemo = 5;  // "Демо АЦП": no port needed
const QString kRefused =
    QStringLiteral("При переключении на другой уровень доступа приборы должны быть отключены.");

// Opens the main window's options dialog, picks `level` in it and cancels.
// The level the dialog shows afterwards.
int tryLevel(CMainFrame& frame, int level) {
    int shown = -1;
    QTimer::singleShot(0, &frame, [&] {
        auto* sheet = qobject_cast<CProgrammSetupSheet*>(QApplication::activeModalWidget());
        QVERIFY(sheet != nullptr);
        sheet->chooseAccessLevel(level);
        shown = sheet->accessLevels()->checkedId();
        sheet->reject();
    });
    frame.showOptions();
    return shown;
}

}  // namespace

class OptionsAccessTest : public QObject {
    Q_OBJECT
  private slots:
    void levelChangeRefusedWhileAnInstrumentIsConnected() {
        auto& settings = zelmora::CProgramSettings::instance();
        zelmora::ProgramOptions o = settings.options();
        o.accessLevel = 4;  // "Наладчик"
        settings.setOptions(o);
        CDeviceManager devices(zelmora::userSettings());
        QVERIFY(devices.add(kDemo) != nullptr);
        MessageLog log;
        CMainFrame frame;
        frame.setDeviceManager(&devices);
        QVERIFY(devices.connect(0));
        QCOMPARE(tryLevel(frame, 1), 4);
        QVERIFY(log.saw(kRefused));

        devices.disconnect(0);
        log.texts.clear();
        QCOMPARE(tryLevel(frame, 1), 1);
        QVERIFY(!log.saw(kRefused));
        frame.setDeviceManager(nullptr);
    }
};

QTEST_MAIN(OptionsAccessTest)
#include "options_access_test.moc"
