#include "processing/identification.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "app/text.h"
#include "app/work_log.h"

namespace zelmora {
namespace {

const MethodComponent* componentNamed(const CalculationSettings& s, const std::string& name) {
    for (const MethodComponent& c : s.components)
        if (text::equalsNoCase(c.name, name))
            return &c;
    return nullptr;
}

void name(Peak& p, const MethodComponent& c, bool reference) {
    p.componentName = c.name;
    p.isReference = reference ? 1 : 0;
}

// The unnamed peak inside the window of expected time e nearest to e; the
// first in list order on a tie. -1 when none.
long long nearestUnnamed(const PeakTable& t, double e, double w) {
    long long best = -1;
    double bestDistance = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const Peak& p = t.peaks[i];
        if (p.identified() || !InsideTimeWindow(e, w, p.apexTime))
            continue;
        const double d = std::fabs(e - p.apexTime);
        if (best < 0 || d < bestDistance) {
            best = static_cast<long long>(i);
            bestDistance = d;
        }
    }
    return best;
}

long long referenceCandidate(const PeakTable& t, const MethodComponent& c, std::size_t position,
                             int rule) {
    if (rule == kReferenceByNumber) {
        if (position >= t.size() || t.peaks[position].identified())
            return -1;
        return static_cast<long long>(position);
    }
    if (rule == kReferenceByTime)
        return nearestUnnamed(t, c.retentionTime, c.window);
    long long best = -1;
    double bestValue = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const Peak& p = t.peaks[i];
        if (p.identified() || !InsideTimeWindow(c.retentionTime, c.window, p.apexTime))
            continue;
        const double v = rule == kReferenceByArea ? p.area : p.height;
        if (best < 0 || v > bestValue) {
            best = static_cast<long long>(i);
            bestValue = v;
        }
    }
    return best;
}

}  // namespace

bool InsideTimeWindow(double e, double w, double a) {
    return std::fabs(e - a) <= e * w / 100.0;
}

double IdentifyReferences(PeakTable& table, const CalculationSettings& settings) {
    const double tm = settings.deadTime;
    double se = 0, sa = 0;
    for (std::size_t k = 0; k < settings.components.size(); ++k) {
        const MethodComponent& c = settings.components[k];
        if (!c.reference)
            continue;
        const long long i = referenceCandidate(table, c, k, settings.referenceIdentification);
        if (i < 0)
            continue;
        Peak& p = table.peaks[static_cast<std::size_t>(i)];
        name(p, c, true);
        se += c.retentionTime - tm;
        sa += p.apexTime - tm;
    }
    // The divisor decides: references all expected at the dead time give no
    // scale at all rather than a division by zero.
    if (std::fabs(se) >= 1e-50 && std::isfinite(sa / se))
        return sa / se;
    return 1.0;
}

double IdentifyByTime(PeakTable& table, const CalculationSettings& settings) {
    for (Peak& p : table.peaks)
        p.componentName.clear();
    const double f = IdentifyReferences(table, settings);
    const double tm = settings.deadTime;
    for (const MethodComponent& c : settings.components) {
        if (c.reference)
            continue;
        const double e = f == 1.0 ? c.retentionTime : tm + f * (c.retentionTime - tm);
        const long long i = nearestUnnamed(table, e, c.window);
        if (i >= 0)
            name(table.peaks[static_cast<std::size_t>(i)], c, false);
    }
    return f;
}

void IdentifyByIndex(PeakTable& table, const CalculationSettings& settings) {
    const bool logarithmic = settings.identification == kIdentifyByLogarithmicIndex;
    const double tm = settings.deadTime;
    for (Peak& p : table.peaks) {
        p.componentName.clear();
        p.retentionIndex = 0;
        removeProperty(p.properties, kRetentionIndexKey);
    }
    for (const MethodComponent& c : settings.components) {
        if (!c.reference)
            continue;
        const long long i = nearestUnnamed(table, c.retentionTime, c.window);
        if (i < 0)
            continue;
        Peak& p = table.peaks[static_cast<std::size_t>(i)];
        name(p, c, true);
        // A method may carry an index that is no number: the peak then has none.
        p.retentionIndex = std::isfinite(c.retentionIndex) ? c.retentionIndex : 0;
        setProperty(p.properties, kRetentionIndexKey, text::format("%g", c.retentionIndex));
    }

    auto isReferencePeak = [](const Peak& p) { return p.identified() && p.isReference == 1; };
    for (std::size_t k = 0; k < table.size(); ++k) {
        Peak& p = table.peaks[k];
        if (p.isReference != 0)
            continue;
        const double t = p.apexTime;
        const Peak* left = nullptr;
        const Peak* right = nullptr;
        for (const Peak& q : table.peaks) {
            if (!isReferencePeak(q))
                continue;
            if (q.apexTime < t && (left == nullptr || q.apexTime > left->apexTime))
                left = &q;
            if (q.apexTime > t && (right == nullptr || q.apexTime < right->apexTime))
                right = &q;
        }
        const MethodComponent* cl = nullptr;
        const MethodComponent* cr = nullptr;
        for (const MethodComponent& c : settings.components) {
            if (!c.reference)
                continue;
            if (c.retentionTime < t && (cl == nullptr || c.retentionTime > cl->retentionTime))
                cl = &c;
            if (c.retentionTime > t && (cr == nullptr || c.retentionTime < cr->retentionTime))
                cr = &c;
        }
        // A side without a reference peak, or without a reference component
        // expected there, has no reference to interpolate from.
        const bool noLeft = left == nullptr || cl == nullptr;
        const bool noRight = right == nullptr || cr == nullptr;
        p.retentionIndex = 0;
        if (noLeft || noRight) {
            setProperty(p.properties, kRetentionIndexKey,
                        noLeft && noRight ? kNoReferenceBoth
                        : noLeft          ? kNoReferenceLeft
                                          : kNoReferenceRight);
            continue;
        }
        const bool leftDiffers = left->retentionIndex != cl->retentionIndex;
        const bool rightDiffers = right->retentionIndex != cr->retentionIndex;
        if (leftDiffers || rightDiffers) {
            std::string why;
            if (leftDiffers && rightDiffers)
                why = text::format("слева репер не %s, а справа не %s", cl->name.c_str(),
                                   cr->name.c_str());
            else if (rightDiffers)
                why = text::format("справа репер не %s", cr->name.c_str());
            else
                why = text::format("слева репер не %s", cl->name.c_str());
            setProperty(p.properties, kRetentionIndexKey, why);
            continue;
        }
        const MethodComponent* lc = componentNamed(settings, left->componentName);
        const MethodComponent* rc = componentNamed(settings, right->componentName);
        const double il = lc != nullptr ? lc->retentionIndex : left->retentionIndex;
        const double ir = rc != nullptr ? rc->retentionIndex : right->retentionIndex;
        double x = t, xl = left->apexTime, xr = right->apexTime;
        if (logarithmic) {
            if (t <= tm || left->apexTime <= tm) {
                // ln of a time at or before the dead time has no value.
                setProperty(p.properties, kRetentionIndexKey, kNotAfterDeadTime);
                CWorkLog::instance().write(text::format(
                    "? Логарифмический индекс пика %zu не вычислен: время %.4f мин не больше "
                    "Тм %.4f мин",
                    k + 1, left->apexTime <= tm ? left->apexTime : t, tm));
                continue;
            }
            x = std::log(t - tm);
            xl = std::log(left->apexTime - tm);
            xr = std::log(right->apexTime - tm);
        }
        const double index = il + (ir - il) * (x - xl) / (xr - xl);
        if (!std::isfinite(index)) {
            setProperty(p.properties, kRetentionIndexKey, kNoReferenceBoth);
            continue;
        }
        p.retentionIndex = index;
        setProperty(p.properties, kRetentionIndexKey, text::format("%.1f", index));
    }

    for (const MethodComponent& c : settings.components) {
        if (c.reference)
            continue;
        long long best = -1;
        double bestDistance = 0;
        for (std::size_t i = 0; i < table.size(); ++i) {
            const Peak& p = table.peaks[i];
            if (p.identified() || p.retentionIndex == 0)
                continue;
            const double d = std::fabs(c.retentionIndex - p.retentionIndex);
            if (d <= c.window && (best < 0 || d < bestDistance)) {
                best = static_cast<long long>(i);
                bestDistance = d;
            }
        }
        if (best >= 0)
            name(table.peaks[static_cast<std::size_t>(best)], c, false);
    }
}

std::optional<std::pair<double, double>> IndexWindowTimes(const PeakTable& table,
                                                          const CalculationSettings& settings,
                                                          const MethodComponent& c) {
    const bool logarithmic = settings.identification == kIdentifyByLogarithmicIndex;
    const double tm = settings.deadTime;
    struct Reference {
        double x, index;
    };
    std::vector<Reference> refs;
    for (const Peak& p : table.peaks) {
        if (!p.identified() || p.isReference != 1 || (logarithmic && p.apexTime <= tm))
            continue;
        const MethodComponent* rc = componentNamed(settings, p.componentName);
        const double index = rc != nullptr ? rc->retentionIndex : p.retentionIndex;
        refs.push_back({logarithmic ? std::log(p.apexTime - tm) : p.apexTime, index});
    }
    std::sort(refs.begin(), refs.end(),
              [](const Reference& a, const Reference& b) { return a.x < b.x; });
    const double lo = c.retentionIndex - std::fabs(c.window);
    const double hi = c.retentionIndex + std::fabs(c.window);
    std::optional<std::pair<double, double>> out;
    for (std::size_t k = 1; k < refs.size(); ++k) {
        const Reference& l = refs[k - 1];
        const Reference& r = refs[k];
        if (l.index == r.index || r.x == l.x)
            continue;
        // The part of [lo, hi] that this pair's indices cover, back to x.
        const double a = std::max(lo, std::min(l.index, r.index));
        const double b = std::min(hi, std::max(l.index, r.index));
        if (a > b)
            continue;
        auto xOf = [&](double index) {
            return l.x + (index - l.index) * (r.x - l.x) / (r.index - l.index);
        };
        double x1 = xOf(a), x2 = xOf(b);
        if (x1 > x2)
            std::swap(x1, x2);
        const double t1 = logarithmic ? tm + std::exp(x1) : x1;
        const double t2 = logarithmic ? tm + std::exp(x2) : x2;
        if (!std::isfinite(t1) || !std::isfinite(t2))
            continue;
        if (!out)
            out.emplace(t1, t2);
        else
            out = std::make_pair(std::min(out->first, t1), std::max(out->second, t2));
    }
    return out;
}

void IdentifyPeaks(PeakTable& table, const CalculationSettings& settings, double& retentionFactor) {
    if (settings.identification == kIdentifyByLinearIndex ||
        settings.identification == kIdentifyByLogarithmicIndex) {
        IdentifyByIndex(table, settings);
        return;
    }
    retentionFactor = IdentifyByTime(table, settings);
}

}  // namespace zelmora
