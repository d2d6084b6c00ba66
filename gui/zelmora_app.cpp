#include "gui/zelmora_app.h"

#include <clocale>
#include <filesystem>

#include <QApplication>
#include <QStringList>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/settings_store.h"
#include "app/work_log.h"
#include "database/analyses_database.h"
#include "database/results_saver.h"
#include "document/results_store.h"
#include "gui/document/passport_dlg.h"
#include "gui/instruments/ehd_settings_pg.h"
#include "gui/instruments/kalder_settings_sheet.h"
#include "gui/instruments/recording_controller.h"
#include "gui/main_frame.h"
#include "gui/message_box.h"
#include "gui/method/method_chooser.h"
#include "gui/method/method_commands.h"
#include "gui/method/mtd_capture.h"
#include "gui/reports/chromatogram_report.h"
#include "instruments/channel.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"
#include "instruments/ht300_recording.h"
#include "instruments/ht300_sampler.h"
#include "instruments/queue_recording_link.h"
#include "method/document_method.h"
#include "processing/peak_integration.h"

namespace zelmora::gui {

CZelmoraApp::CZelmoraApp(QApplication& qt) {
    // Qt adopts the environment's locale on Unix; a Russian one would put
    // decimal commas into files written with printf-style formats.
    std::setlocale(LC_NUMERIC, "C");
    qt.setApplicationName(QStringLiteral("Zelmora"));
    qt.setOrganizationName(QStringLiteral("Quendal"));
    CProgramSettings::instance();  // options are the first thing loaded
    installFolderMethodLoader();
    installIntegrationAfterRead();
    // The passport's "&Метод" and ". . ." buttons: the method editor and chooser.
    CPassportDlg::editMethod = [](const std::string& name, QWidget* parent) {
        return editMethod(name, parent);
    };
    CPassportDlg::chooseMethod = [](const std::string& current, QWidget* parent) {
        return chooseMethod(parent, current);
    };
    // The method editor's detector block is edited in the detector's page.
    setMethodInstrumentEditors(&editMethodKalderSettings, &editMethodEhdSettings);
    recording_ = std::make_unique<CRecordingController>();
    loadDevices();
    frame_ = std::make_unique<CMainFrame>();
    recording_->setFrame(frame_.get());
    recording_->setDevices(devices_.get());
    frame_->setRecordingController(recording_.get());
    // The queue's channel takes its samples from the queue ("EnableKGK").
    recording_->setQueueLink(std::make_shared<QueueRecordingLink>(
        frame_->analysisQueue(), userSettings(), recording_->messages()));
    frame_->setDeviceManager(devices_.get());
    // Start buttons ask for commands on the devices' reader threads: they
    // are posted to the main window, which the devices outlive until
    // saveDevices() has closed them.
    CMainFrame* frame = frame_.get();
    devices_->setCommandSink([frame](int id) {
        QMetaObject::invokeMethod(
            frame, [frame, id] { frame->runCommand(id); }, Qt::QueuedConnection);
    });
}

CZelmoraApp::~CZelmoraApp() {
    saveDevices();
    frame_->setDeviceManager(nullptr);
    frame_->setDatabase(nullptr);
    frame_->setRecordingController(nullptr);
    recording_->setQueueLink(nullptr);
    recording_->setFrame(nullptr);
    frame_.reset();
    devices_.reset();
    recording_.reset();
    installResultsStore(nullptr);
    setPassportCatalogue(nullptr);
    setReportDatabase(nullptr);
    store_.reset();
    database_.reset();
    CWorkLog::instance().stop();
    if (const Status saved = CProgramSettings::instance().save(); !saved)
        qWarning("Zelmora: the options could not be saved: %s", saved.message().c_str());
}

void CZelmoraApp::loadDevices() {
    devices_ = std::make_unique<CDeviceManager>(userSettings());
    devices_->setChannelFactory(CChannel::factory(recording_.get()));
    // The HT300's injections start recordings on the device list's channels.
    devices_->registerType(static_cast<int>(DeviceType::Ht300), [this] {
        auto d = std::make_unique<CHt300Sampler>();
        CRecordingController* recording = recording_.get();
        d->setRecordingTarget(std::make_shared<Ht300DeviceListTarget>(
            *devices_, [recording](std::function<void()> w) { recording->post(std::move(w)); }));
        return d;
    });
    devices_->load();
}

void CZelmoraApp::saveDevices() {
    if (const Status saved = devices_->save(); !saved)
        qWarning("Zelmora: the device list could not be saved: %s", saved.message().c_str());
    // No reader thread may post to the main window once it is gone.
    for (int i = 0; i < devices_->count(); ++i)
        devices_->disconnect(i);
    devices_->setCommandSink({});
}

bool CZelmoraApp::openCommandLineFiles(const QStringList& files) {
    for (const QString& file : files) {
        if (!frame_->openAnyFile(std::filesystem::path(file.toStdString())))
            return false;
    }
    return true;
}

bool CZelmoraApp::openDatabase() {
    const std::filesystem::path file = programOptions().databaseFile();
    database_ = std::make_unique<db::CAnalysesDatabase>(file);
    frame_->setDatabase(database_.get());
    std::error_code ec;
    // A first start has no database yet: it is made with its tables.
    db::Status opened = std::filesystem::exists(file, ec)
                            ? database_->open()
                            : (paths::ensureFolder(file.parent_path()), database_->create());
    if (!opened) {
        auto tell = [](QMessageBox::Icon icon, const QString& text,
                       QMessageBox::StandardButtons buttons = QMessageBox::Ok) {
            MessageRequest r;
            r.icon = icon;
            r.text = text;
            r.buttons = buttons;
            return showMessage(r);
        };
        showFailure(nullptr, opened, {}, QMessageBox::Critical);
        database_->close();
        if (tell(QMessageBox::Question,
                 QStringLiteral("Ошибка открытия базы данных, произвести попытку реставрации ?"),
                 QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return false;
        const db::Result<db::RepairReport> repaired = database_->repair();
        if (!repaired) {
            showFailure(nullptr, repaired.status(), {}, QMessageBox::Critical);
            return false;
        }
        tell(QMessageBox::Information, QStringLiteral("Реставрация базы данных завершена"));
        if (!database_->isOpen()) {
            opened = database_->open();
            if (!opened) {
                showFailure(nullptr, opened, {}, QMessageBox::Critical);
                return false;
            }
        }
    }
    store_ = std::make_shared<db::CAnalysesStore>(*database_, documentMethodComponents);
    installResultsStore(store_);
    setPassportCatalogue(&database_->connection());
    setReportDatabase(database_.get());
    return true;
}

int CZelmoraApp::offerRecovery() {
    return recording_->offerRecovery();
}

bool CZelmoraApp::start(bool maximised) {
    if (!openDatabase())
        return false;
    if (maximised) {
        frame_->showMaximized();
    } else {
        frame_->show();
    }
    auto& log = CWorkLog::instance();
    log.start(programOptions().logFolder(), versionNumber(), buildDateText());
    for (const std::string& warning : settingsLoadWarnings())
        log.write(warning);
    // Once the window is up: the recordings a crash left behind.
    QMetaObject::invokeMethod(
        frame_.get(), [this] { offerRecovery(); }, Qt::QueuedConnection);
    return true;
}

}  // namespace zelmora::gui
