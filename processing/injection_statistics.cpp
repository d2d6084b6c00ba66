#include "processing/injection_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "app/text.h"
#include "document/zelmora_doc.h"
#include "processing/chromatogram_treatments.h"

namespace zelmora {

namespace fs = std::filesystem;

const StatPeak* StatEntry::peakOf(std::string_view component) const {
    for (const StatPeak& p : peaks)
        if (!p.name.empty() && p.name == component)
            return &p;
    return nullptr;
}

std::string statListPath(const fs::path& file, const fs::path& dataFolder) {
    if (!dataFolder.empty()) {
        const fs::path f = file.lexically_normal();
        const fs::path d = dataFolder.lexically_normal();
        const fs::path rel = f.lexically_relative(d);
        if (!rel.empty() && *rel.begin() != ".." && rel != ".")
            return rel.string();
    }
    return file.string();
}

StatEntry statEntryOf(const CZelmoraDoc& doc, const fs::path& file, const ProgramOptions& o) {
    StatEntry e;
    e.file = file;
    e.listPath = file.string();
    e.sample = doc.passport.sample;
    e.analysisTime = doc.passport.analysisTime;
    const NoiseAndDrift nd = EstimateNoiseAndDrift(doc, o.processor, o.noiseCalcType == 1);
    e.noise = nd.noise;
    e.drift = nd.drift;
    for (const Peak& p : doc.peaks.peaks) {
        StatPeak s;
        s.name = std::string(text::trim(p.componentName));
        s.time = p.apexTime;
        s.height = p.height;
        s.area = p.area;
        s.concentration = p.concentration;
        if (const std::string* v = findProperty(p.properties, kRetentionIndexKey))
            s.index = text::parseDouble(text::trim(*v), true);
        e.peaks.push_back(std::move(s));
    }
    return e;
}

Result<StatEntry> readStatEntry(const fs::path& file, const ProgramOptions& options) {
    CZelmoraDoc doc;
    if (const Status read = doc.Read(file); !read)
        return Status::failure("Не удалось прочитать хроматограмму " + file.string() + ": " +
                               read.message());
    return statEntryOf(doc, file, options);
}

MeanAndRsd meanAndRsd(const std::vector<double>& values) {
    MeanAndRsd r;
    if (values.empty())
        return r;
    const double n = static_cast<double>(values.size());
    double sum = 0;
    for (double v : values)
        sum += v;
    r.mean = sum / n;
    if (values.size() < 2 || r.mean == 0)
        return r;
    // Deviations from the mean, not Σx² − n·mean²: retention times agree to
    // five digits and the shortcut would lose them.
    double squares = 0;
    for (double v : values)
        squares += (v - r.mean) * (v - r.mean);
    r.rsd = std::sqrt(squares / (n - 1)) * 100 / std::fabs(r.mean);
    return r;
}

namespace {

bool numberChar(char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == ' ' || c == '+' || c == '-' || c == 'e' ||
           c == 'E';
}

// The length of "m" in Latin or Cyrillic at `pos`, else 0.
std::size_t milliAt(std::string_view s, std::size_t pos) {
    if (s.substr(pos, 1) == "m")
        return 1;
    if (s.substr(pos, 2) == "м")
        return 2;
    return 0;
}

// The length of "V" in Latin or Cyrillic at `pos`, else 0.
std::size_t voltAt(std::string_view s, std::size_t pos) {
    if (s.substr(pos, 1) == "V")
        return 1;
    if (s.substr(pos, 2) == "В")
        return 2;
    return 0;
}

}  // namespace

ConvertedNoise convertNoise(std::string_view coefficient, double noiseMv, double driftMvPerHour) {
    ConvertedNoise c;
    std::size_t run = 0;
    while (run < coefficient.size() && numberChar(coefficient[run]))
        ++run;
    const std::string number(text::trim(coefficient.substr(0, run)));
    char* end = nullptr;
    const double k = number.empty() ? 0 : std::strtod(number.c_str(), &end);
    if (number.empty() || end == number.c_str())
        return c;
    c.converted = true;
    c.noise = k * noiseMv;
    c.drift = k * driftMvPerHour;
    const std::string_view rest = coefficient.substr(run);
    // A divisor: "/мВ" (the values are per millivolt already) or "/В" (per
    // volt: the millivolts are divided by 1000).
    for (std::size_t slash = rest.find('/'); slash != std::string_view::npos;
         slash = rest.find('/', slash + 1)) {
        const std::size_t m = milliAt(rest, slash + 1);
        const std::size_t mv = m > 0 ? voltAt(rest, slash + 1 + m) : 0;
        const std::size_t v = voltAt(rest, slash + 1);
        if (mv == 0 && v == 0)
            continue;
        const std::size_t after = slash + 1 + (mv > 0 ? m + mv : v);
        c.unit = std::string(text::trim(rest.substr(0, slash))) +
                 std::string(text::trim(rest.substr(after)));
        if (mv == 0) {
            c.noise /= 1000;
            c.drift /= 1000;
        }
        return c;
    }
    const std::string unit(text::trim(rest));
    c.unit = unit.empty() ? "мВ" : unit + "*мВ";
    return c;
}

std::string noiseText(double noiseMv, const ConvertedNoise& c) {
    if (!c.converted)
        return text::format("%.4f мВ", noiseMv);
    return text::format("%.4f мВ,  %.4g %s", noiseMv, c.noise, c.unit.c_str());
}

std::string driftText(double driftMvPerHour, const ConvertedNoise& c) {
    if (!c.converted)
        return text::format("%.4f мВ/ч", driftMvPerHour);
    return text::format("%.4f мВ/ч,  %.4g %s/ч", driftMvPerHour, c.drift, c.unit.c_str());
}

double detectionLimit(double noiseMv, double meanArea, double peakConcentration,
                      const ProgramOptions& o) {
    if (meanArea == 0)
        return 0;
    const double c = o.useC0 ? peakConcentration : o.c0;
    double m = c * o.v / 1000;
    switch (o.detType2) {
        case 1:
            m *= 0.118;
            break;
        case 2:
            m *= 0.122;
            break;
        case 3:
            m *= 0.154;
            break;
        case 4:
            m = o.v * c * o.pDoza * 7.06e-6;
            if (o.tKrana + 273 != 0)
                m /= o.tKrana + 273;
            break;
        default:
            break;
    }
    double limit = 2 * noiseMv * m / (meanArea * 60);
    if (o.detType == 1 && o.qgn != 0)
        limit /= o.qgn / 60;
    if (o.useKK != 0 && o.kk != 0)
        limit /= o.kk;
    return limit;
}

std::string detectionLimitText(double limit, const ProgramOptions& o) {
    if (limit == 0)
        return "?";
    return text::format(o.detType == 1 ? "%.4g г/мл" : "%.4g г/сек", limit);
}

StatisticsResult computeStatistics(const std::vector<StatEntry>& entries,
                                   std::optional<std::size_t> current, const StatEntry* zeroLine,
                                   const ProgramOptions& options) {
    struct Values {
        std::vector<double> time, height, area, concentration, index;
    };
    std::map<std::string, Values> byName;
    for (const StatEntry& e : entries)
        for (const StatPeak& p : e.peaks) {
            if (p.name.empty())
                continue;
            Values& v = byName[p.name];
            v.time.push_back(p.time);
            v.height.push_back(p.height);
            v.area.push_back(p.area);
            v.concentration.push_back(p.concentration);
            if (p.index)
                v.index.push_back(*p.index);
        }

    StatisticsResult r;
    const StatEntry* reference =
        current && *current < entries.size() ? &entries[*current] : nullptr;
    if (zeroLine != nullptr) {
        r.noise = zeroLine->noise;
        r.drift = zeroLine->drift;
    } else if (reference != nullptr) {
        r.noise = reference->noise;
        r.drift = reference->drift;
    }

    for (const auto& [name, v] : byName) {
        ComponentStatistics c;
        c.name = name;
        c.peakCount = static_cast<int>(v.time.size());
        const MeanAndRsd t = meanAndRsd(v.time), h = meanAndRsd(v.height), a = meanAndRsd(v.area),
                         k = meanAndRsd(v.concentration), i = meanAndRsd(v.index);
        c.meanTime = t.mean;
        c.rsdTime = t.rsd;
        c.meanHeight = h.mean;
        c.rsdHeight = h.rsd;
        c.meanArea = a.mean;
        c.rsdArea = a.rsd;
        c.meanConcentration = k.mean;
        c.rsdConcentration = k.rsd;
        c.indexCount = static_cast<int>(v.index.size());
        c.meanIndex = i.mean;
        c.rsdIndex = i.rsd;
        if (reference != nullptr)
            if (const StatPeak* p = reference->peakOf(name))
                c.detectionLimit = detectionLimit(r.noise, c.meanArea, p->concentration, options);
        r.components.push_back(std::move(c));
    }
    return r;
}

void StatEntryList::add(StatEntry entry) {
    const auto at = std::lower_bound(
        entries_.begin(), entries_.end(), entry.listPath,
        [](const StatEntry& e, const std::string& path) { return e.listPath < path; });
    if (at != entries_.end() && at->listPath == entry.listPath)
        *at = std::move(entry);
    else
        entries_.insert(at, std::move(entry));
}

bool StatEntryList::remove(std::string_view listPath) {
    const auto at = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const StatEntry& e) { return e.listPath == listPath; });
    if (at == entries_.end())
        return false;
    entries_.erase(at);
    return true;
}

std::optional<std::size_t> StatEntryList::indexOf(std::string_view listPath) const {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].listPath == listPath)
            return i;
    return std::nullopt;
}

}  // namespace zelmora
