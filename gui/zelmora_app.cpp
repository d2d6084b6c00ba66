#include "gui/zelmora_app.h"

#include <clocale>
#include <filesystem>

#include <QApplication>
#include <QStringList>

#include "app/program_settings.h"
#include "app/settings_store.h"
#include "app/work_log.h"
#include "gui/main_frame.h"
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
    frame_ = std::make_unique<CMainFrame>();
}

CZelmoraApp::~CZelmoraApp() {
    frame_.reset();
    CWorkLog::instance().stop();
    std::string error;
    if (!CProgramSettings::instance().save(&error)) {
        qWarning("Zelmora: the options could not be saved: %s", error.c_str());
    }
}

bool CZelmoraApp::openCommandLineFiles(const QStringList& files) {
    for (const QString& file : files) {
        if (frame_->openDocument(std::filesystem::path(file.toStdString())) == nullptr)
            return false;
    }
    return true;
}

void CZelmoraApp::start(bool maximised) {
    if (maximised) {
        frame_->showMaximized();
    } else {
        frame_->show();
    }
    auto& log = CWorkLog::instance();
    log.start(programOptions().logFolder(), versionNumber(), buildDateText());
    for (const SettingsStore* s : {&userSettings(), &machineSettings()}) {
        if (!s->loadWarning().empty())
            log.write(s->loadWarning());
    }
}

}  // namespace zelmora::gui
