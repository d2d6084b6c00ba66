#include "instruments/queue_recording_link.h"

#include "app/text.h"
#include "document/message_sink.h"
#include "document/passport.h"
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
    if (next.value())
        fillPassport(*next.value(), passport);
}

void QueueRecordingLink::recordingStopped(CChannel& channel, bool interrupted) {
    if (!isQueueChannel(channel))
        return;
    if (Status s = queue_.finishInWork(!interrupted); !s.ok())
        messages_.messageBox("Zelmora", s.message(), MessageIcon::Warning);
}

}  // namespace zelmora
