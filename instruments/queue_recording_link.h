#pragma once
// The analysis queue joined to the recordings: when the queue's channel
// ("Adc", "Canal") starts a recording with the working method ("MtdDefault")
// loaded, the next new sample goes into work and into the chromatogram's
// passport (comment, "Виала № N info # id", sampling point, sample and
// standard amounts); when that recording ends, the sample is processed, or
// new again when the recording was interrupted, so that it is run again.
// Once the processed sample's chromatogram is saved, its results go to the
// laboratory's export program ("Prg"): the result XML in a temporary file,
// the program started with that file and the chromatogram's file, waited
// for; whatever goes wrong is a work-log line, and the queue goes on.

#include <filesystem>
#include <map>
#include <string>

#include "instruments/analysis_queue.h"
#include "instruments/channel.h"

namespace zelmora {

class MessageSink;
class SettingsStore;

// The same method name whether written with or without ".mtd".
bool sameMethodName(std::string a, std::string b);

class QueueRecordingLink : public AnalysisQueueLink {
  public:
    // `settings` holds the queue settings (read at every recording, so that
    // the settings dialog takes effect at once); `messages` tells the
    // operator of a wrong method or a queue that could not be written.
    QueueRecordingLink(AnalysisQueue& queue, const SettingsStore& settings, MessageSink& messages);

    void recordingStarting(CChannel& channel, Passport& passport) override;
    void recordingStopped(CChannel& channel, bool interrupted) override;
    bool resultReady(CChannel& channel, CZelmoraDoc& doc,
                     const FinishedRecording& finished) override;

    // Where the result XML is written for the program; empty: the system's
    // temporary folder.
    void setTemporaryFolder(std::filesystem::path folder) { tempFolder_ = std::move(folder); }

    // Fills the passport from a queue entry.
    static void fillPassport(const QueueEntry& entry, Passport& passport);

  private:
    bool isQueueChannel(const CChannel& channel) const;

    AnalysisQueue& queue_;
    const SettingsStore& settings_;
    MessageSink& messages_;
    std::filesystem::path tempFolder_;
    // The channels recording a queue sample, with the sample's id. Only the
    // interface thread reads and writes it (every call of the link comes
    // there), so it needs no lock.
    std::map<const CChannel*, std::int32_t> carrying_;
};

}  // namespace zelmora
