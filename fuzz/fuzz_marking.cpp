// Automatic marking and the peak table operations on arbitrary traces,
// parameters and timetables: nothing may read outside the samples, loop or
// leave a link dangling.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "processing/peak_detector.h"
#include "processing/peak_integration.h"

namespace {

struct Reader {
    const std::uint8_t* p;
    std::size_t n;
    template <class T>
    T take() {
        T v{};
        if (n >= sizeof(T)) {
            std::memcpy(&v, p, sizeof(T));
            p += sizeof(T);
            n -= sizeof(T);
        }
        return v;
    }
};

void checkLinks(const zelmora::PeakTable& t) {
    const int n = static_cast<int>(t.size());
    for (int i = 0; i < n; ++i) {
        const zelmora::Peak& p = t.peaks[i];
        if (p.ownIndex != i || p.nextInGroup >= n || p.prevInGroup >= n ||
            (p.nextInGroup >= 0 && t.peaks[p.nextInGroup].prevInGroup != i) ||
            (p.prevInGroup >= 0 && t.peaks[p.prevInGroup].nextInGroup != i))
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in{data, size};
    zelmora::Signal s;
    s.t0 = in.take<std::int8_t>() / 16.0;
    s.dt = (in.take<std::uint8_t>() + 1) / 512.0;
    const auto param = [&](double scale) { return in.take<std::int8_t>() * scale; };
    // The parameters are read in the order the bytes have always given them.
    zelmora::DetectionState start;
    start.width = param(0.002);
    start.maxCommonBaselineDistance = param(0.01);
    start.widthDoublingTime = param(0.1);
    start.maxRiderArea = param(0.01);
    start.maxWidth = param(0.02);
    start.minHeight = param(0.01);
    start.minArea = param(0.001);
    start.markingStart = param(0.05);
    std::vector<zelmora::PeakEvent> events(in.take<std::uint8_t>() % 8);
    for (auto& e : events) {
        e.kind = in.take<std::uint8_t>() % 12;
        e.time = in.take<std::uint8_t>() / 16.0;
        e.value = param(0.01);
    }
    const int ops = in.take<std::uint8_t>() % 8;
    while (in.n >= 2 && s.samples.size() < 4096)
        s.samples.push_back(in.take<std::int16_t>() / 100.0f);
    zelmora::PeakTable t;
    t.attach(&s);
    zelmora::PeakDetector d(t, events);
    d.DetectPeaks(start);
    checkLinks(t);
    for (int k = 0; k < ops && !t.empty(); ++k) {
        const std::int64_t i = k % static_cast<int>(t.size());
        switch (k % 4) {
            case 0:
                zelmora::AddAdjacentPeak(t, i, t.peaks[i].endTime + 0.1 * (k + 1), 2);
                break;
            case 1:
                zelmora::AddAdjacentPeak(t, i, t.peaks[i].startTime - 0.05, 1);
                break;
            case 2:
                zelmora::SetPeakBounds(t, i, t.peaks[i].startTime - 0.01, t.peaks[i].endTime);
                break;
            default:
                zelmora::DeletePeak(t, i, true, k % 2);
                break;
        }
        checkLinks(t);
    }
    return 0;
}
