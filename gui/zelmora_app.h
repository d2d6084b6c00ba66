#pragma once
// Start and end of the desktop program: options first, then the main window
// and the work log's start line; at exit the stop line and the options save.
// The device list is loaded before the main window is made and written when
// the program ends, after every instrument has been disconnected.

#include <QStringList>
#include <memory>

class QApplication;

namespace zelmora {
class CDeviceManager;
}

namespace zelmora::db {
class CAnalysesDatabase;
class CAnalysesStore;
}  // namespace zelmora::db

namespace zelmora::gui {

class CMainFrame;
class CRecordingController;

class CZelmoraApp {
  public:
    // Creates the main window; the QApplication must exist. Resets
    // LC_NUMERIC to "C", which Qt changes to the environment's locale.
    explicit CZelmoraApp(QApplication& qt);
    ~CZelmoraApp();
    CZelmoraApp(const CZelmoraApp&) = delete;
    CZelmoraApp& operator=(const CZelmoraApp&) = delete;

    CMainFrame& mainFrame() { return *frame_; }
    // Opens the chromatograms named on the command line (the arguments that
    // Qt left, without the program name). False when one of them cannot be
    // opened: the reason has been shown and the program does not start.
    bool openCommandLineFiles(const QStringList& files);
    // Opens the analyses database (offering a repair when it cannot be
    // opened), shows the main window and starts the work log. False when the
    // database stays closed: the program then quits.
    bool start(bool maximised);
    db::CAnalysesDatabase* database() { return database_.get(); }
    // The instruments of this workstation, loaded before the main window is
    // made and written at exit.
    CDeviceManager& devices() { return *devices_; }
    // The channels' side in the desktop program (windows, sounds, the end of
    // a recording); made before the devices, gone after them.
    CRecordingController& recording() { return *recording_; }
    // Offers to recover the recordings a crash left behind (at start).
    int offerRecovery();

  private:
    bool openDatabase();
    void loadDevices();
    void saveDevices();

    std::unique_ptr<db::CAnalysesDatabase> database_;
    std::shared_ptr<db::CAnalysesStore> store_;
    std::unique_ptr<CRecordingController> recording_;  // outlives the devices' channels
    std::unique_ptr<CDeviceManager> devices_;          // outlives the frame, which shows it
    std::unique_ptr<CMainFrame> frame_;
};

}  // namespace zelmora::gui
