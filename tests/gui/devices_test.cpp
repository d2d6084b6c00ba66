// The instruments in the desktop program: the device-list and connection
// dialogs change the list (and refuse to take away a connected device), the
// list survives in the settings file, and the main window's "Приборы" menu,
// instrument bands and status panes follow it; connecting the simulated
// converter from the menu leaves it running, which the close rules ask about.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>
#include <functional>

#include "app/program_settings.h"
#include "app/settings_store.h"
#include "gui/command_ids.h"
#include "gui/instruments/connect_device_dlg.h"
#include "gui/instruments/device_list_dlg.h"
#include "gui/instruments/instrument_controls.h"
#include "gui/main_frame.h"
#include "gui/zelmora_app.h"
#include "gui_test_support.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"

namespace fs = std::filesystem;
using zelmora::CDeviceManager;
using zelmora::gui::CConnectDeviceDlg;
using zelmora::gui::CDeviceListDlg;
using zelmora::gui::CMainFrame;
using zelmora::guitest::MessageLog;

namespace {

constexpr int kDemo = 5;
constexpr int kOstrel = 2;
constexpr int kVarsel = 8;

// Runs `f` on the connection dialog once it is shown modally, then closes it
// with OK (`accept`) or Cancel. The title shown goes to `title`.
void onConnectDialog(std::function<void(CConnectDeviceDlg&)> f, bool accept,
                     QString* title = nullptr) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, f, accept, title] {
        auto* dlg = qobject_cast<CConnectDeviceDlg*>(QApplication::activeModalWidget());
        if (dlg == nullptr)
            return;
        timer->stop();
        timer->deleteLater();
        if (title != nullptr)
            *title = dlg->windowTitle();
        f(*dlg);
        if (accept)
            dlg->accept();
        else
            dlg->reject();
    });
    timer->start();
}

// Runs `f` on the first modal dialog shown.
void onModalDialog(std::function<void(QDialog&)> f) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, f] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dlg == nullptr)
            return;
        timer->stop();
        timer->deleteLater();
        f(*dlg);
    });
    timer->start();
}

void choose(QComboBox* box, int data) {
    box->setCurrentIndex(box->findData(data));
}

QStringList rowTexts(const QTreeWidget* list) {
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* it = list->topLevelItem(i);
        rows << it->text(0) + "|" + it->text(1) + "|" + it->text(2);
    }
    return rows;
}

QStringList menuTexts(const QMenu* m) {
    QStringList texts;
    for (const QAction* a : m->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return texts;
}

QMenu* devicesMenu(const CMainFrame& frame) {
    for (QAction* a : frame.menuBar()->actions()) {
        if (a->text() == QStringLiteral("&Приборы"))
            return a->menu();
    }
    return nullptr;
}

fs::path home() {
    return fs::path(qgetenv("ZELMORA_HOME").toStdString());
}

}  // namespace

class DevicesTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        CDeviceManager clean(zelmora::userSettings());
        QVERIFY(clean.save());
        zelmora::userSettings().deleteKey(std::string(zelmora::kRootKey) + "\\Ports");
        zelmora::CProgramSettings::instance().update(
            [](zelmora::ProgramOptions& o) { o.confirmDisconnect = false; });
    }

    void listDialogAddsMovesAndRemovesDevices() {
        CDeviceManager devices(zelmora::userSettings());
        MessageLog log;
        CDeviceListDlg dlg(devices);
        dlg.show();
        QVERIFY(!dlg.button(CDeviceListDlg::Remove)->isEnabled());
        QString title;
        // A new simulated converter: no port to choose.
        onConnectDialog(
            [](CConnectDeviceDlg& d) {
                choose(d.typeBox(), kDemo);
                QVERIFY(!d.portBox()->isEnabled());
                QVERIFY(!d.pathEdit()->isEnabled());
            },
            true, &title);
        dlg.button(CDeviceListDlg::Add)->click();
        QCOMPARE(title, QStringLiteral("Подключение нового прибора"));
        // An Ostrel converter on COM5, a USB adapter here.
        onConnectDialog(
            [](CConnectDeviceDlg& d) {
                choose(d.typeBox(), kOstrel);
                choose(d.portBox(), 4);
                QCOMPARE(d.pathEdit()->text(), QStringLiteral("/dev/ttyS4"));
                d.pathEdit()->setText(QStringLiteral("/dev/ttyUSB1"));
            },
            true);
        dlg.button(CDeviceListDlg::Add)->click();
        // Cancel adds nothing.
        onConnectDialog([](CConnectDeviceDlg& d) { choose(d.typeBox(), kVarsel); }, false);
        dlg.button(CDeviceListDlg::Add)->click();
        QCOMPARE(rowTexts(dlg.list()), QStringList({"1|Демо АЦП|—", "2|Zelmora Ostrel|COM5"}));
        QCOMPARE(devices.portPath(4), std::string("/dev/ttyUSB1"));
        QVERIFY(dlg.changed());

        // The channels of the selected device.
        dlg.setCurrentDevice(1);
        QVERIFY(dlg.channelBoxes()[1]->isVisibleTo(&dlg));
        QVERIFY(!dlg.channelBoxes()[2]->isVisibleTo(&dlg));
        dlg.channelBoxes()[1]->setChecked(false);
        QVERIFY(!devices.device(1).channel(1).inUse());
        QVERIFY(devices.device(1).channel(0).inUse());

        dlg.button(CDeviceListDlg::Up)->click();
        QCOMPARE(rowTexts(dlg.list()), QStringList({"1|Zelmora Ostrel|COM5", "2|Демо АЦП|—"}));
        QCOMPARE(dlg.currentDevice(), 0);
        QCOMPARE(devices.device(1).deviceIndex(), 1);
        QVERIFY(!dlg.button(CDeviceListDlg::Up)->isEnabled());
        dlg.setCurrentDevice(0);
        dlg.button(CDeviceListDlg::Down)->click();
        dlg.button(CDeviceListDlg::Up)->click();
        QCOMPARE(devices.device(0).type(), kOstrel);
        QVERIFY(!devices.device(0).channel(1).inUse());  // the channel moved with its device

        const fs::path picture = home() / "device_list_dialog.png";
        dlg.resize(520, 360);
        QVERIFY(dlg.grab().save(QString::fromStdString(picture.string())));

        // A connected device stays in the list.
        QVERIFY(devices.connect(1));
        dlg.setCurrentDevice(1);
        dlg.button(CDeviceListDlg::Remove)->click();
        QCOMPARE(devices.count(), 2);
        QVERIFY(log.saw(QStringLiteral("Прибор 2 (Демо АЦП) подключён: отключите его")));
        log.texts.clear();
        dlg.button(CDeviceListDlg::RemoveAll)->click();
        QCOMPARE(devices.count(), 2);
        QVERIFY(log.saw(QStringLiteral("Не все приборы отключены")));
        // Nor does it become another kind of instrument.
        onConnectDialog([](CConnectDeviceDlg& d) { QVERIFY(!d.typeBox()->isEnabled()); }, true,
                        &title);
        dlg.button(CDeviceListDlg::Port)->click();
        QCOMPARE(title, QStringLiteral("Подключение прибора 2"));
        zelmora::gui::DeviceChoice other{kVarsel, 2, {}};
        log.texts.clear();
        QVERIFY(!zelmora::gui::applyDeviceChoice(devices, 1, other, nullptr));
        QCOMPARE(devices.device(1).type(), kDemo);
        QVERIFY(log.saw(QStringLiteral("подключён")));
        devices.disconnect(1);

        // The list as written reads back from the settings file.
        QVERIFY(devices.save());
        zelmora::SettingsStore reread(zelmora::userSettings().file(), false);
        QCOMPARE(reread.load(), zelmora::SettingsStore::LoadStatus::Loaded);
        CDeviceManager again(reread);
        again.load();
        QCOMPARE(again.count(), 2);
        QCOMPARE(again.device(0).type(), kOstrel);
        QCOMPARE(again.device(0).portIndex(), 4);
        QVERIFY(!again.device(0).channel(1).inUse());
        QCOMPARE(again.device(1).type(), kDemo);
        QCOMPARE(again.portPath(4), std::string("/dev/ttyUSB1"));

        dlg.setCurrentDevice(0);
        dlg.button(CDeviceListDlg::Remove)->click();
        QCOMPARE(rowTexts(dlg.list()), QStringList({"1|Демо АЦП|—"}));
        QCOMPARE(devices.device(0).deviceIndex(), 0);
        log.answers = {QMessageBox::No};
        dlg.button(CDeviceListDlg::RemoveAll)->click();
        QCOMPARE(devices.count(), 1);
        log.answers = {QMessageBox::Yes};
        dlg.button(CDeviceListDlg::RemoveAll)->click();
        QCOMPARE(devices.count(), 0);
        QVERIFY(!dlg.button(CDeviceListDlg::Remove)->isEnabled());
    }

    void connectionDialogChecksItsInput() {
        CDeviceManager devices(zelmora::userSettings());
        MessageLog log;
        QVERIFY(devices.add(kOstrel) != nullptr);
        CConnectDeviceDlg dlg(devices, 0);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Подключение прибора 1"));
        QCOMPARE(dlg.typeBox()->count(), zelmora::kDeviceTypeCount);
        QCOMPARE(dlg.typeBox()->currentData().toInt(), kOstrel);
        QCOMPARE(dlg.portBox()->currentText(), QStringLiteral("COM3"));
        dlg.show();
        const fs::path picture = home() / "connect_device_dialog.png";
        QVERIFY(dlg.grab().save(QString::fromStdString(picture.string())));
        // A device file given without its folder is refused, the dialog stays.
        dlg.pathEdit()->setText(QStringLiteral("ttyUSB0"));
        dlg.accept();
        QVERIFY(dlg.isVisible());
        QVERIFY(log.saw(QStringLiteral("указан не полностью")));
        // The default file of a line is no mapping.
        dlg.pathEdit()->setText(QStringLiteral("/dev/ttyS2"));
        QVERIFY(dlg.choice().portPath.empty());
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));

        // Another type replaces an idle device and keeps its port.
        QVERIFY(zelmora::gui::applyDeviceChoice(devices, 0, {kVarsel, 2, {}}, nullptr));
        QCOMPARE(devices.device(0).type(), kVarsel);
        QCOMPARE(devices.device(0).portIndex(), 2);
        QVERIFY(!zelmora::gui::applyDeviceChoice(devices, 0, {kVarsel, 2, {}}, nullptr));
        // The list holds ten devices at most.
        for (int i = 1; i < zelmora::kMaxDevices; ++i)
            QVERIFY(zelmora::gui::applyDeviceChoice(devices, -1, {kDemo, 0, {}}, nullptr));
        log.texts.clear();
        QVERIFY(!zelmora::gui::applyDeviceChoice(devices, -1, {kDemo, 0, {}}, nullptr));
        QCOMPARE(devices.count(), zelmora::kMaxDevices);
        QVERIFY(log.saw(QStringLiteral("больше добавить нельзя")));
        QVERIFY(!zelmora::gui::applyDeviceChoice(devices, -1, {9, 0, {}}, nullptr));
    }

    void promptsFollowTheDevice() {
        CDeviceManager devices(zelmora::userSettings());
        QVERIFY(devices.add(kDemo) != nullptr);
        QVERIFY(devices.add(kOstrel) != nullptr);
        using zelmora::gui::devicePrompt;
        QCOMPARE(devicePrompt(devices, 40000),
                 std::string("Подключить/отключить прибор 1 (Демо АЦП)"));
        QCOMPARE(devicePrompt(devices, 40011),
                 std::string("Режим работы прибор 2 (Zelmora Ostrel)"));
        QCOMPARE(devicePrompt(devices, 40020 + 9),
                 std::string("Включить запись на канале 2 прибора 2 (Zelmora Ostrel)"));
        QCOMPARE(devicePrompt(devices, 40100 + 2),
                 std::string("Запустить метод на канале 3 прибора 1 (Демо АЦП)"));
        QCOMPARE(devicePrompt(devices, 40180 + 8),
                 std::string("Стоп, канал 1 прибора 2 (Zelmora Ostrel)"));
        QCOMPARE(devicePrompt(devices, 40260 + 1),
                 std::string("Окно записи канала 2 прибора 1 (Демо АЦП)"));
        QVERIFY(devicePrompt(devices, 40002).empty());  // no third device
        QVERIFY(devicePrompt(devices, 40340).empty());
        using zelmora::gui::promptTip;
        QCOMPARE(promptTip(std::string(79, 'x')).size(), 79);
        QVERIFY(promptTip(std::string(80, 'x')).isEmpty());
        QVERIFY(promptTip({}).isEmpty());
        // Characters count, not bytes.
        QString cyr(79, QChar(0x0416));
        QCOMPARE(promptTip(cyr.toStdString()), cyr);
    }

    void mainWindowFollowsTheList() {
        CDeviceManager devices(zelmora::userSettings());
        QVERIFY(devices.add(kDemo) != nullptr);
        QVERIFY(devices.add(kOstrel) != nullptr);
        // The Ostrel's line stands for a file that is not there.
        QVERIFY(devices.setPortPath(devices.device(1).portIndex(), "/nonexistent/zelmora-tty"));
        MessageLog log;
        {
            CMainFrame frame;
            frame.setDeviceManager(&devices);
            frame.resize(780, 560);  // on the screen, so that menus open where asked
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            auto* ui = frame.instruments();
            QMenu* menu = devicesMenu(frame);
            QVERIFY(menu != nullptr);
            QCOMPARE(menuTexts(menu), QStringList({"1. Демо АЦП", "2. Zelmora Ostrel"}));
            QCOMPARE(menuTexts(ui->devicePopup(0)),
                     QStringList({"&Подключить", "&Установки...", "-", "Канал &1", "Канал &2",
                                  "Канал &3"}));
            QMenu* channel = ui->devicePopup(1)->actions()[4]->menu();
            QCOMPARE(menuTexts(channel), QStringList({"Запустить &метод", "Записать &хроматограмму",
                                                      "Монитор канала", "Стоп"}));
            frame.updateCommandStates();
            for (QAction* a : channel->actions())
                QVERIFY(!a->isEnabled());  // the recording windows are not there yet
            QCOMPARE(frame.action(40000)->statusTip(),
                     QStringLiteral("Подключить/отключить прибор 1 (Демо АЦП)"));
            QCOMPARE(frame.action(40100 + 9)->toolTip(),
                     QStringLiteral("Запустить метод на канале 2 прибора 2 (Zelmora Ostrel)"));

            // A band per device, before the document bands.
            QToolBar* first = ui->band(0);
            QVERIFY(first != nullptr && first->isVisible());
            QCOMPARE(first->findChild<QLabel*>()->text(), QStringLiteral("1 (Демо АЦП): "));
            QCOMPARE(ui->band(1)->findChild<QLabel*>()->text(),
                     QStringLiteral("2 (Zelmora Ostrel): "));
            QVERIFY(first->actions().contains(frame.action(40000)));
            QToolBar* documents = frame.band(zelmora::gui::band::kNoDocument);
            QVERIFY(first->geometry().x() < documents->geometry().x() ||
                    first->geometry().y() < documents->geometry().y());
            QCOMPARE(ui->pane(0)->text(), QStringLiteral("Демо АЦП"));
            QCOMPARE(ui->pane(1)->text(), QStringLiteral("Zelmora Ostrel"));

            // Connecting the simulated converter from the menu.
            frame.action(40000)->trigger();
            QVERIFY(devices.device(0).isRunning());
            QVERIFY(frame.action(40000)->isChecked());
            QVERIFY(frame.isCommandChecked(40000));
            // The failed connection names the device and the reason.
            QVERIFY(!frame.runCommand(40001));
            QVERIFY(!devices.device(1).isRunning());
            QVERIFY(
                log.saw(QStringLiteral("Подключить прибор не удалось.\nПрибор 2 (Zelmora "
                                       "Ostrel) на COM3")));
            QVERIFY(!frame.action(40001)->isChecked());

            // The close rules ask about the connected converter.
            zelmora::CProgramSettings::instance().update(
                [](zelmora::ProgramOptions& o) { o.confirmDisconnect = true; });
            log.texts.clear();
            log.answers = {QMessageBox::Cancel};
            QVERIFY(!frame.close());
            QVERIFY(
                log.saw(QStringLiteral("Не все приборы отключены.\nВы действительно хотите "
                                       "завершить работу?")));
            QVERIFY(frame.isVisible());
            // Disconnecting asks too; Cancel leaves it connected.
            log.answers = {QMessageBox::Cancel};
            QVERIFY(!frame.runCommand(40000));
            QVERIFY(devices.device(0).isRunning());
            QVERIFY(log.saw(QStringLiteral("Вы действительно хотите отключить прибор?")));
            log.answers = {QMessageBox::Ok};
            QVERIFY(frame.runCommand(40000));
            QVERIFY(!devices.device(0).isRunning());
            QVERIFY(!frame.action(40000)->isChecked());
            zelmora::CProgramSettings::instance().update(
                [](zelmora::ProgramOptions& o) { o.confirmDisconnect = false; });

            // A right click on a pane opens the device's menu at the mouse.
            QLabel* pane = ui->pane(1);
            const QPoint at(pane->width() / 2, pane->height() / 2);
            QTest::mouseClick(pane, Qt::RightButton, {}, at);
            QMenu* popup = ui->devicePopup(1);
            QTRY_VERIFY(popup->isVisible());
            const QPoint corner = popup->geometry().bottomRight();
            const QPoint mouse = pane->mapToGlobal(at);
            QVERIFY((corner - mouse).manhattanLength() < 4);
            popup->hide();

            // A left click posts the device's settings: the converter's own
            // settings window, connected or not.
            QString ostrelTitle;
            onModalDialog([&](QDialog& d) {
                ostrelTitle = d.windowTitle();
                d.reject();
            });
            QTest::mouseClick(pane, Qt::LeftButton, {}, at);
            QTRY_COMPARE(ostrelTitle, QStringLiteral("Параметры работы АЦП4"));
            QCOMPARE(menuTexts(menu), QStringList({"1. Демо АЦП", "2. Zelmora Ostrel"}));

            // The simulated converter has no settings of its own: its
            // "Установки" offer its connection, here another type for it,
            // and the menu, bands and panes follow.
            QString title;
            onConnectDialog([](CConnectDeviceDlg& d) { choose(d.typeBox(), kVarsel); }, true,
                            &title);
            QLabel* demoPane = ui->pane(0);
            QTest::mouseClick(demoPane, Qt::LeftButton, {},
                              QPoint(demoPane->width() / 2, demoPane->height() / 2));
            QTRY_COMPARE(menuTexts(menu), QStringList({"1. Varsel", "2. Zelmora Ostrel"}));
            QCOMPARE(title, QStringLiteral("Подключение прибора 1"));
            QCOMPARE(ui->band(0)->findChild<QLabel*>()->text(), QStringLiteral("1 (Varsel): "));
            QCOMPARE(ui->pane(0)->text(), QStringLiteral("Varsel"));
            // ... and the changed list is in the settings already.
            CDeviceManager saved(zelmora::userSettings());
            saved.load();
            QCOMPARE(saved.count(), 2);
            QCOMPARE(saved.device(0).type(), kVarsel);

            // Command 39000 rebuilds from the list as it is.
            QVERIFY(devices.remove(1));
            QVERIFY(frame.runCommand(zelmora::gui::command::kRebuildBars));
            QCOMPARE(menuTexts(menu), QStringList({"1. Varsel"}));
            QVERIFY(ui->band(1) == nullptr && ui->pane(1) == nullptr);
            QVERIFY(frame.action(40001) == nullptr);

            frame.setDeviceManager(nullptr);
            QVERIFY(menu->actions().isEmpty());
            QVERIFY(!menu->menuAction()->isEnabled());
            QVERIFY(!frame.isCommandEnabled(zelmora::gui::command::kConnection));
        }
    }

    // The program loads the list before its main window and writes it at
    // exit, with every instrument disconnected.
    void programKeepsTheListFromStartToExit() {
        {
            CDeviceManager before(zelmora::userSettings());
            QVERIFY(before.add(kDemo) != nullptr);
            QVERIFY(before.save());
        }
        {
            auto& qt = static_cast<QApplication&>(*QCoreApplication::instance());
            zelmora::gui::CZelmoraApp app(qt);
            QCOMPARE(app.devices().count(), 1);
            QVERIFY(app.mainFrame().instruments()->band(0) != nullptr);
            QVERIFY(app.mainFrame().runCommand(40000));
            QVERIFY(app.devices().device(0).isRunning());
            QVERIFY(app.devices().add(kOstrel) != nullptr);
        }
        CDeviceManager after(zelmora::userSettings());
        after.load();
        QCOMPARE(after.count(), 2);
        QCOMPARE(after.device(1).type(), kOstrel);
    }
};

QTEST_MAIN(DevicesTest)
#include "devices_test.moc"
