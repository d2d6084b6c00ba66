#include "instruments/queue_recording_link.h"

#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "document/chromatogram_export.h"
#include "document/message_sink.h"
#include "document/passport.h"
#include "document/zelmora_doc.h"
#include "instruments/device.h"

namespace zelmora {

namespace {

std::string withoutExtension(std::string name) {
    if (name.size() > 4 && text::equalsNoCase(name.substr(name.size() - 4), ".mtd"))
        name.resize(name.size() - 4);
    return name;
}

}  // namespace

bool sameMethodName(std::string a, std::string b) {
    return text::equalsNoCase(withoutExtension(std::move(a)), withoutExtension(std::move(b)));
}

QueueRecordingLink::QueueRecordingLink(AnalysisQueue& queue, const SettingsStore& settings,
                                       MessageSink& messages)
    : queue_(queue), settings_(settings), messages_(messages) {}

bool QueueRecordingLink::isQueueChannel(const CChannel& channel) const {
    const QueueSettings s = QueueSettings::load(settings_);
    return channel.index() == s.channel && channel.device().deviceIndex() == s.device;
}

void QueueRecordingLink::fillPassport(const QueueEntry& e, Passport& passport) {
    passport.comment = e.comments;
    passport.sample = queueSampleText(e);
    passport.point = e.organization;
    passport.sampleAmount = e.sampleMass;
    passport.standardAmount = e.standardMass;
    passport.vial = e.vial;
}

void QueueRecordingLink::recordingStarting(CChannel& channel, Passport& passport) {
    carrying_.erase(&channel);
    if (!isQueueChannel(channel))
        return;
    const QueueSettings s = QueueSettings::load(settings_);
    const std::string loaded = channel.device().lastLoadMethod();
    if (!sameMethodName(loaded, s.workingMethod)) {
        messages_.messageBox(
            "Zelmora",
            text::format("Выбран метод %s а нужно %s", loaded.c_str(), s.workingMethod.c_str()),
            MessageIcon::Warning);
        return;
    }
    Result<std::optional<QueueEntry>> next = queue_.takeNext();
    if (!next) {
        messages_.messageBox("Zelmora", next.message(), MessageIcon::Warning);
        return;
    }
    if (next.value()) {
        fillPassport(*next.value(), passport);
        carrying_[&channel] = next.value()->id;
    }
}

void QueueRecordingLink::recordingStopped(CChannel& channel, bool interrupted) {
    if (interrupted)
        carrying_.erase(&channel);
    if (!isQueueChannel(channel))
        return;
    if (Status s = queue_.finishInWork(!interrupted); !s.ok())
        messages_.messageBox("Zelmora", s.message(), MessageIcon::Warning);
}

bool QueueRecordingLink::resultReady(CChannel& channel, CZelmoraDoc& doc,
                                     const FinishedRecording& finished) {
    const auto it = carrying_.find(&channel);
    if (it == carrying_.end())
        return false;  // not a queue sample: nothing to hand on
    const std::int32_t id = it->second;
    carrying_.erase(it);
    const QueueSettings s = QueueSettings::load(settings_);
    if (text::trim(s.exportProgram).empty())
        return false;  // the laboratory takes no results from the program
    CWorkLog& log = CWorkLog::instance();
    if (!finished.saved) {
        // The program is given the chromatogram's file: there is none yet.
        log.write(
            text::format("? Результаты анализа %d не переданы программе экспорта: "
                         "хроматограмма не записана в файл (выключено автосохранение)",
                         id));
        return false;
    }
    ProgramExportOptions options;
    options.settings = &settings_;
    options.tempFolder = tempFolder_;
    // Automatic: every failure is a work-log line, never a message box that
    // would hold up the next sample.
    const ProgramExportResult r = ExportToProgram(doc, messages_, ExportMode::Automatic, options);
    if (r.status != ProgramExportResult::Status::Done)
        return false;
    log.write(text::format("  Результаты анализа %d переданы программе экспорта: %s", id,
                           finished.path.string().c_str()));
    return true;
}

}  // namespace zelmora
