#include "document/imported_chromatogram.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

#include "app/text.h"
#include "document/table_normalisation.h"
#include "document/zelmora_doc.h"

namespace zelmora {

namespace {

std::string lowered(std::string_view s) {
    return text::foldCase(s);
}

bool contains(const std::string& s, std::string_view part) {
    return s.find(part) != std::string::npos;
}

}  // namespace

void ImportedChromatogram::moveInto(CZelmoraDoc& doc) {
    doc.signal = std::move(signal);
    doc.keepUndoCopy();
    doc.undo.available = false;
    doc.carriedStep = doc.signal.dt;
    doc.passport = std::move(passport);
    doc.hasMethod = false;
    doc.peaks.clear();
    doc.peaks.properties = std::move(tableProperties);
    std::stable_sort(peaks.begin(), peaks.end(),
                     [](const Peak& a, const Peak& b) { return a.apexTime < b.apexTime; });
    doc.peaks.peaks = std::move(peaks);
    doc.peaks.attach(&doc.signal);
    // Renumbers, relinks and measures heights, areas and apexes afresh.
    normaliseAfterRead(doc.peaks);
    doc.updateTitle();
}

SignalUnit parseSignalUnit(std::string_view text) {
    SignalUnit u;
    std::string_view t = text::trim(text);
    u.name = std::string(t);
    double scale = 1;
    // A leading count scales the unit: "25 µV".
    std::string head(t);
    char* end = nullptr;
    const double lead = std::strtod(head.c_str(), &end);
    if (end != head.c_str() && std::isfinite(lead) && lead > 0) {
        scale = lead;
        t = text::trim(t.substr(static_cast<std::size_t>(end - head.c_str())));
    }
    const std::string l = lowered(t);
    double factor = 0;
    if (l == "uv" || l == "µv" || l == "мкв" || l == "microvolts" || l == "microvolt" ||
        l == "\xb5v")
        factor = 0.001;
    else if (l == "mv" || l == "мв" || l == "millivolts" || l == "millivolt")
        factor = 1;
    else if (l == "v" || l == "в" || l == "volts" || l == "volt")
        factor = 1000;
    u.isVoltage = factor != 0;
    u.toMillivolts = (u.isVoltage ? factor : 1) * scale;
    return u;
}

TimeUnit parseTimeUnit(std::string_view text) {
    const std::string l = lowered(text::trim(text));
    TimeUnit u;
    if (contains(l, "min") || contains(l, "мин")) {
        u.minutes = true;
        u.known = true;
    } else if (contains(l, "sec") || l == "s" || contains(l, "сек") || l == "с" ||
               contains(l, "second")) {
        u.known = true;
    }
    return u;
}

Result<Signal> resampleEvenly(const std::vector<double>& times, const std::vector<double>& values) {
    const std::size_t n = std::min(times.size(), values.size());
    if (n < 2)
        return Status::failure("меньше двух точек сигнала");
    std::vector<double> steps(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (!std::isfinite(times[i]) || !std::isfinite(times[i + 1]))
            return Status::failure("время точки " + std::to_string(i + 1) + " не число");
        steps[i] = times[i + 1] - times[i];
        if (!(steps[i] > 0))
            return Status::failure("время не возрастает в точке " + std::to_string(i + 2));
    }
    const double finest = *std::min_element(steps.begin(), steps.end());
    const double span = times[n - 1] - times[0];
    const double count = std::ceil(span / finest * (1 - 1e-9)) + 1;
    // The finest step of the record keeps its detail; it cannot make many
    // more points than there were unless a few gaps are enormous, which is
    // refused rather than filling memory with interpolated straight lines.
    if (!(count >= 2) || count > 10.0 * static_cast<double>(n) + 10)
        return Status::failure("шаг времени слишком неравномерен для пересчёта на равный шаг");
    Signal s;
    const auto m = static_cast<std::size_t>(count);
    s.t0 = times[0];
    s.dt = span / static_cast<double>(m - 1);
    s.samples.resize(m);
    std::size_t k = 0;
    for (std::size_t i = 0; i < m; ++i) {
        const double t = i + 1 == m ? times[n - 1] : s.t0 + static_cast<double>(i) * s.dt;
        while (k + 2 < n && times[k + 1] <= t)
            ++k;
        const double f = (t - times[k]) / (times[k + 1] - times[k]);
        s.samples[i] = static_cast<float>(values[k] + (values[k + 1] - values[k]) * f);
    }
    return s;
}

}  // namespace zelmora
