#pragma once
// The desktop program's side of the recording channels: it carries out the
// channel commands of the "Приборы" menu (record, run a method, stop, the
// channel monitor, the panel start), opens the waiting windows and the
// recording windows, runs the channels' posted work on the interface
// thread (the window messages of the recording), plays the sounds, and puts
// each finished chromatogram into a window (or closes it with "AutoClose").
// At start it offers to recover the recordings that a crash left behind.
//
// It lives from before the device list is loaded until after the devices
// are gone (the channels keep a pointer to it); all its members are used on
// the interface thread except post().

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "gui/document/qt_message_sink.h"
#include "gui/instruments/channel_method_choice.h"
#include "instruments/channel.h"

namespace zelmora {
class CDeviceManager;
}

namespace zelmora::gui {

class CMainFrame;
class CRecordingWnd;
class CWaitingWnd;

class CRecordingController : public QObject, public ChannelHost {
    Q_OBJECT
  public:
    using MethodChooser =
        std::function<std::optional<ChannelMethodChoice>(QWidget* parent, const QString& preset)>;
    using SoundPlayer = std::function<void(const QString& wavFile)>;

    CRecordingController();
    ~CRecordingController() override;

    void setFrame(CMainFrame* frame);
    void setDevices(CDeviceManager* devices) { devices_ = devices; }
    // The method chooser of "Запустить метод" (default: chooseChannelMethod).
    void setMethodChooser(MethodChooser chooser) { chooser_ = std::move(chooser); }
    // How a wave file is played (default: the first of aplay, paplay,
    // pw-play found, detached; nothing without one).
    void setSoundPlayer(SoundPlayer player) { player_ = std::move(player); }
    // The analysis queue's hand-over, given to every channel.
    void setQueueLink(std::shared_ptr<AnalysisQueueLink> link);

    // The channel commands 40020-40419 (record, run a method, stop, monitor,
    // panel start).
    static bool isChannelCommand(int id);
    bool isEnabled(int id) const;
    bool run(int id);

    CRecordingWnd* recordingWindow(const CChannel& channel) const;
    CWaitingWnd* waitingWindow(const CChannel& channel) const;
    CChannel* channelOf(int id) const;

    // Journals left by recordings that did not finish: asks whether to
    // recover them and opens each recovered chromatogram. The number
    // recovered.
    int offerRecovery();

    // ChannelHost
    void post(std::function<void()> work) override;
    MessageSink& messages() override { return sink_; }
    AnalysisQueueLink* queueLink() override { return queue_.get(); }
    ProgramOptions options() const override;
    std::time_t startTime() override;
    std::filesystem::path journalFolder() const override;
    void playSound(const std::string& name) override;
    void showWaiting(CChannel& channel) override;
    void closeWaiting(CChannel& channel) override;
    void editPassport(CZelmoraDoc& doc) override;
    void recordingStarted(CChannel& channel) override;
    void recordingEnded(CChannel& channel) override;
    void chromatogramReady(CChannel& channel, std::unique_ptr<CZelmoraDoc> doc,
                           const Result<FinishedRecording>& finished) override;

  signals:
    // A finished recording's chromatogram is in a window (or was closed).
    void chromatogramFinished(const QString& path, bool saved);

  private:
    void bringForward(CChannel& channel);

    CMainFrame* frame_ = nullptr;
    CDeviceManager* devices_ = nullptr;
    QtMessageSink sink_;
    MethodChooser chooser_;
    SoundPlayer player_;
    std::shared_ptr<AnalysisQueueLink> queue_;
    QHash<const CChannel*, QPointer<CRecordingWnd>> recording_;
    QHash<const CChannel*, QPointer<CWaitingWnd>> waiting_;
};

}  // namespace zelmora::gui
