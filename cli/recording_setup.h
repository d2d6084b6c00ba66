#pragma once
// What the recording commands (record, series, acquire) share: the command's
// main loop standing in for the interface thread of the channels, the
// analyses database the finished chromatograms are saved to, and the choice
// of the recording device and channel from the command line.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "app/result.h"
#include "cli/cli.h"
#include "cli/stderr_sink.h"
#include "instruments/channel.h"
#include "instruments/device_manager.h"

namespace zelmora {
namespace db {
class CAnalysesDatabase;
}
}  // namespace zelmora

namespace zelmora::cli {

// Posted work waits in a queue that the command's loop runs. Headless, every
// analysis is written, closed and (unless told otherwise) put in the database.
class LoopChannelHost : public ChannelHost {
  public:
    explicit LoopChannelHost(std::string messagePrefix)
        : prefix_(messagePrefix), sink_(std::move(messagePrefix)) {}

    void post(std::function<void()> work) override;
    // Runs what was posted, waiting up to `ms` for the first piece.
    void run(int ms);
    MessageSink& messages() override { return sink_; }
    ProgramOptions options() const override;
    std::time_t startTime() override;
    std::filesystem::path journalFolder() const override;
    // Counts the finished analysis, prints its file on stdout and its
    // summary (describe) on stderr, or the reason it failed.
    void chromatogramReady(CChannel& channel, std::unique_ptr<CZelmoraDoc> doc,
                           const Result<FinishedRecording>& finishedRecording) override;

    double minutes = 0;  // --minutes, 0 = the method's run time
    bool database = true;
    bool openPassport = false;  // the passport is filled before the recording
    int finished = 0;
    int failed = 0;

  protected:
    // The stderr line of a finished analysis, without its newline.
    virtual std::string describe(const CZelmoraDoc& doc, const FinishedRecording& f) const = 0;

  private:
    std::string prefix_;
    StderrMessageSink sink_;
    std::mutex mutex_;  // guards queue_
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
};

// "--minutes" (0...3000) and "--timeout-ms" (10...600000) of a recording
// command; the exit code of a usage error, or nothing when both are good.
std::optional<int> readRecordingLimits(Args& args, double& minutes, int& timeoutMs);

// The analyses database of the settings, opened (created when missing) and
// installed as the store of finished results for as long as it lives.
class RecordingDatabase {
  public:
    RecordingDatabase();
    ~RecordingDatabase();
    RecordingDatabase(const RecordingDatabase&) = delete;
    RecordingDatabase& operator=(const RecordingDatabase&) = delete;
    Status open();

  private:
    std::unique_ptr<db::CAnalysesDatabase> database_;
};

// Device and channel as numbered on the command line (from 1), checked
// against the device list: their indexes, or the reason they do not exist.
Result<std::pair<int, int>> chooseRecordingChannel(CDeviceManager& devices, long long deviceNo,
                                                   long long channelNo);

// The device and channel a recording command works with.
template <class Channel>
struct RecordingTarget {
    int deviceIndex = 0;
    int channelIndex = 0;
    CDevice* device = nullptr;
    Channel* channel = nullptr;
};

// The chosen channel when it is of the kind the command records with, its
// device's line waiting at most `timeoutMs` for the instrument.
template <class Channel>
Result<RecordingTarget<Channel>> chooseRecordingTarget(CDeviceManager& devices, long long deviceNo,
                                                       long long channelNo, int timeoutMs) {
    const auto chosen = chooseRecordingChannel(devices, deviceNo, channelNo);
    if (!chosen)
        return Status::failure(chosen.message());
    RecordingTarget<Channel> t;
    t.deviceIndex = chosen->first;
    t.channelIndex = chosen->second;
    t.device = &devices.device(t.deviceIndex);
    t.channel = dynamic_cast<Channel*>(&t.device->channel(t.channelIndex));
    if (t.channel == nullptr)
        return Status::failure("канал не поддерживает запись");
    t.device->setReceiveTimeoutMs(timeoutMs);
    t.device->setHandshakeTimeoutMs(timeoutMs);
    return t;
}

// Connects device `index`, saying on stderr which one and on which port.
Status connectRecordingDevice(CDeviceManager& devices, int index);

// The exit code of recording command `command` whose recording is over and
// kept: a failure when the instrument fell silent (`lost`), 128 + the
// signal when the operator interrupted it, else success.
int recordingExit(bool lost, const char* command);

}  // namespace zelmora::cli
