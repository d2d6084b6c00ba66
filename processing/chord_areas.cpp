#include "processing/chord_areas.h"

#include <algorithm>
#include <cstring>

#include "processing/signal_filters.h"

namespace zelmora {
namespace {

// Four single-precision lanes. GCC and Clang turn these into the SSE
// additions of any x86-64 (and into scalar code where no vector unit is
// there); a lane adds exactly as a scalar float addition does.
typedef float Lanes __attribute__((vector_size(16)));
typedef std::int32_t LaneBits __attribute__((vector_size(16)));

// The first samples of a group of fresh sums, phase by phase: in phase p the
// sums of vector p begin (lanes whose start lies ahead of sample j are given
// +0, which keeps a sum that has not begun at exactly the +0 a fresh float
// sum starts from), the vectors after it have begun and take every sample,
// the vectors before it have not and are left alone.
template <int kVectors, int kPhase>
[[gnu::always_inline]] inline void beginLanes(Lanes* a, const float* y, std::int64_t top,
                                              std::int64_t from, std::int64_t to) {
    const std::int64_t first = std::max(from, top - 4 * kPhase - 3);
    const std::int64_t last = std::min(to, top - 4 * kPhase);
    const LaneBits index{4 * kPhase, 4 * kPhase + 1, 4 * kPhase + 2, 4 * kPhase + 3};
    for (std::int64_t j = first; j <= last; ++j) {
        const std::int32_t begun = static_cast<std::int32_t>(top - j);  // first lane begun
        const Lanes v{y[j], y[j], y[j], y[j]};
        a[kPhase] += (Lanes)((LaneBits)v & (index >= LaneBits{begun, begun, begun, begun}));
#pragma GCC unroll 8
        for (int q = kPhase + 1; q < kVectors; ++q)
            a[q] += v;
    }
    if constexpr (kPhase > 0)
        beginLanes<kVectors, kPhase - 1>(a, y, top, from, to);
}

// Adds y[from..to] to the sums acc[0..count) (count <= 4 * kVectors) of the
// starts top, top - 1, ...: the sum of start s takes y[j] only for j >= s, so
// every lane makes exactly the additions of its own fresh sum in their order.
// The lanes of the last vector past `count` are read and written back
// unchanged in meaning: acc has room for them (EdgeSums keeps 4 spare).
template <int kVectors>
void addToLanes(const float* y, float* acc, std::int64_t top, std::int64_t from, std::int64_t to) {
    Lanes a[kVectors];
#pragma GCC unroll 8
    for (int q = 0; q < kVectors; ++q)
        std::memcpy(&a[q], acc + 4 * q, sizeof(Lanes));
    if (from <= top)
        beginLanes<kVectors, kVectors - 1>(a, y, top, from, to);
    for (std::int64_t j = std::max(from, top + 1); j <= to; ++j) {
        const Lanes v{y[j], y[j], y[j], y[j]};
#pragma GCC unroll 8
        for (int q = 0; q < kVectors; ++q)
            a[q] += v;
    }
#pragma GCC unroll 8
    for (int q = 0; q < kVectors; ++q)
        std::memcpy(acc + 4 * q, &a[q], sizeof(Lanes));
}

using LaneAdder = void (*)(const float*, float*, std::int64_t, std::int64_t, std::int64_t);
constexpr LaneAdder kLaneAdders[] = {addToLanes<1>, addToLanes<2>, addToLanes<3>, addToLanes<4>,
                                     addToLanes<5>, addToLanes<6>, addToLanes<7>, addToLanes<8>};

// The same for any number of sums, in groups of at most 32 lanes (eight
// vectors keep two SSE adders busy), each group from its own lowest start on.
void addToSums(const float* y, float* acc, std::int64_t count, std::int64_t top, std::int64_t from,
               std::int64_t to) {
    for (std::int64_t k = 0; k < count; k += 32) {
        const std::int64_t c = std::min<std::int64_t>(32, count - k);
        const std::int64_t groupTop = top - k;
        const std::int64_t groupFrom = std::max(from, groupTop - c + 1);
        kLaneAdders[(c + 3) / 4 - 1](y, acc + k, groupTop, groupFrom, to);
    }
}

}  // namespace

ChordAreas::ChordAreas(const Signal& signal)
    : signal_(signal),
      n_(static_cast<std::int64_t>(signal.size())),
      dtSingle_(static_cast<float>(signal.dt)) {}

float ChordAreas::windowArea(std::int64_t s, std::int64_t e) const {
    return chordAreaSingle(signal_.samples.data(), signal_.size(), s, e, signal_.dt);
}

float ChordAreas::sum(std::int64_t s, std::int64_t e) const {
    const float* y = signal_.samples.data();
    float total = 0;
    for (std::int64_t i = s; i <= e; ++i)
        total += y[i];
    return total;
}

double ChordAreas::area(std::int64_t s, std::int64_t e) const {
    if (s < 0)
        s = 0;
    if (e > n_ - 1)
        e = n_ - 1;
    if (s > e)
        return 0;
    return areaFromSum(sum(s, e), s, e);
}

float WindowAreas::area(std::int64_t s, std::int64_t e) {
    for (int k = next_; k < count_; ++k)
        if (starts_[k] == s && ends_[k] == e) {
            next_ = k + 1;
            return values_[k];
        }
    const std::int64_t n = areas_.size();
    if (!(0 <= s && s <= e && e < n)) {
        count_ = next_ = 0;
        return areas_.windowArea(s, e);
    }
    const std::int64_t step = (e - s) / 2 + 1;
    count_ = 1;
    while (count_ < kBatch && e + count_ * step < n)
        ++count_;
    const float* y = areas_.samples();
    float sum[kBatch] = {};
    const float* from[kBatch];
    for (int k = 0; k < kBatch; ++k)
        from[k] = y + s + (k < count_ ? k : 0) * step;
    // Four separate chains of float additions, each in its own window's
    // order; a short batch repeats its first window in the unused chains.
    for (std::int64_t i = 0; i <= e - s; ++i)
#pragma GCC unroll 4
        for (int k = 0; k < kBatch; ++k)
            sum[k] += from[k][i];
    const float dt = static_cast<float>(areas_.dt());
    for (int k = 0; k < count_; ++k) {
        starts_[k] = s + k * step;
        ends_[k] = e + k * step;
        values_[k] =
            chordAreaFromSum(sum[k], y[starts_[k]] + y[ends_[k]], starts_[k], ends_[k], dt);
    }
    next_ = 1;
    return values_[0];
}

void EdgeSums::reset(std::int64_t top) {
    top_ = top;
    end_ = -1;
    live_ = 0;
    count_ = 0;
}

void EdgeSums::reach(const ChordAreas& areas, std::int64_t low, std::int64_t high,
                     std::int64_t end) {
    const float* y = areas.samples();
    // Sums of starts above `high` are not wanted again: they are not carried.
    live_ = std::max(live_, top_ - high);
    if (count_ > live_ && end > end_)
        addToSums(y, sums_.data() + live_, count_ - live_, top_ - live_, end_ + 1, end);
    end_ = end;
    if (top_ - low + 1 > count_) {
        // New starts are made in whole groups of 32 lanes (down to sample
        // 0): a group costs about the same whatever number of its lanes is
        // used, and the widening mostly goes on to the left.
        const std::int64_t k0 = std::max(count_, live_);
        const std::int64_t wanted = std::min(top_ + 1, k0 + (top_ - low - k0 + 32) / 32 * 32);
        // Four spare lanes past the last sum for the last vector's lanes.
        if (sums_.size() < static_cast<std::size_t>(wanted + 4))
            sums_.resize(static_cast<std::size_t>(std::max<std::int64_t>(wanted, 2 * count_) + 4));
        float* fresh = sums_.data() + k0;
        std::fill(fresh, fresh + (wanted - k0), 0.0f);
        addToSums(y, fresh, wanted - k0, top_ - k0, top_ - wanted + 1, end);
        count_ = wanted;
    }
}

}  // namespace zelmora
