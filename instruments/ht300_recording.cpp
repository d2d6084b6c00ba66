#include "instruments/ht300_recording.h"

#include "app/text.h"
#include "app/work_log.h"
#include "document/zelmora_doc.h"
#include "instruments/channel.h"
#include "instruments/device_manager.h"

namespace zelmora {
namespace {

long keyOf(int device, unsigned bits) {
    return static_cast<long>(device) * 256 + static_cast<long>(bits & 0xFF);
}

bool deviceReady(const CDevice& d) {
    const int rs = d.runState();
    return d.isRunning() && (rs == kRunStateReady || (rs == 6 && d.isReadyToRecord()));
}

}  // namespace

Ht300DeviceListTarget::Ht300DeviceListTarget(CDeviceManager& devices, Post post)
    : devices_(devices), post_(std::move(post)) {}

Ht300DeviceListTarget::~Ht300DeviceListTarget() {
    state_->alive.store(false);
}

bool Ht300DeviceListTarget::channelsReady(CDeviceManager& devices, int deviceIndex,
                                          unsigned channelBits) {
    if (deviceIndex < 0 || deviceIndex >= devices.count())
        return false;
    CDevice& d = devices.device(deviceIndex);
    if (!deviceReady(d))
        return false;
    int usable = 0;
    for (int c = 0; c < d.channelCount(); ++c) {
        if ((channelBits & (1u << c)) == 0)
            continue;
        const AcquisitionChannel& ch = d.channel(c);
        if (!ch.inUse() || !ch.active() || ch.isRecording())
            return false;
        if (const auto* cc = dynamic_cast<const CChannel*>(&ch); cc && cc->isFinishing())
            return false;
        ++usable;
    }
    return usable > 0;
}

int Ht300DeviceListTarget::start(CDeviceManager& devices, const Ht300Injection& inj) {
    if (inj.deviceIndex < 0 || inj.deviceIndex >= devices.count()) {
        CWorkLog::instance().write(text::format(
            "! HT300: прибор %d для запуска записи не подключён", inj.deviceIndex + 1));
        return 0;
    }
    CDevice& d = devices.device(inj.deviceIndex);
    int started = 0;
    for (int c = 0; c < d.channelCount(); ++c) {
        if ((inj.channelBits & (1u << c)) == 0)
            continue;
        AcquisitionChannel& ch = d.channel(c);
        if (auto* cc = dynamic_cast<CChannel*>(&ch)) {
            if (cc->isWaitingForStart()) {
                // The armed recording's document takes the sample at once.
                if (CZelmoraDoc* doc = cc->document()) {
                    doc->passport.sample = inj.sampleName;
                    doc->passport.vial = inj.vial;
                    doc->passport.sample2 = text::format("Инжекция %d", inj.injection);
                }
                // Started here and now (this is the interface thread), not
                // posted once more: a look at the channels queued meanwhile
                // must find it recording, not armed and ready for the next
                // injection.
                cc->StartFromWaiting(true);
                ++started;
                continue;
            }
            if (cc->isRecording())
                continue;
            cc->setSamplePassport(inj.vial, inj.injection, inj.sampleName);
            if (Status s = cc->RecordNow(); !s.ok()) {
                CWorkLog::instance().write(
                    text::format("! HT300: запись на канале %d прибора %d не запущена: %s", c + 1,
                                 inj.deviceIndex + 1, s.message().c_str()));
                continue;
            }
            ++started;
        } else if (auto* sc = dynamic_cast<SampleChannel*>(&ch)) {
            if (sc->isWaitingForStart())
                sc->triggerStart();
            else if (!sc->isRecording())
                sc->recordNow(true);
            ++started;
        }
    }
    return started;
}

bool Ht300DeviceListTarget::readyToRecord(int deviceIndex, unsigned channelBits) {
    const long key = keyOf(deviceIndex, channelBits);
    if (!state_->refreshPosted.exchange(true)) {
        auto st = state_;
        CDeviceManager* devices = &devices_;
        post_([st, devices, deviceIndex, channelBits, key] {
            if (!st->alive.load())
                return;
            st->ready.store(channelsReady(*devices, deviceIndex, channelBits));
            st->readyKey.store(key);
            st->refreshPosted.store(false);
        });
    }
    return state_->startsPending.load() == 0 && state_->readyKey.load() == key &&
           state_->ready.load();
}

void Ht300DeviceListTarget::startRecording(const Ht300Injection& injection) {
    auto st = state_;
    ++st->startsPending;
    // The last look is stale now: the channels are about to record.
    st->ready.store(false);
    CDeviceManager* devices = &devices_;
    post_([st, devices, injection] {
        if (st->alive.load()) {
            start(*devices, injection);
            st->ready.store(false);
            st->readyKey.store(-1);
        }
        --st->startsPending;
    });
}

}  // namespace zelmora
