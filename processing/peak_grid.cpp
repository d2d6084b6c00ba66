#include "processing/peak_grid.h"

#include <cmath>
#include <set>

#include "app/text.h"
#include "processing/quantitation.h"

namespace zelmora {

namespace {

constexpr const char* kHeaders[kGridFixedColumns] = {
    "N",     "Время (мин)",  "Высота",        "Площадь",  "Ширина",
    "Репер", "Концентрация", "Ед. измерения", "Компонент"};
constexpr int kWidths[kGridFixedColumns] = {400, 1200, 1200, 1200, 600, 600, 1400, 700, 2400};

std::string timeText(double minutes, const ProgramOptions& o) {
    return text::format("%.3f", o.normSec == 1 ? minutes * 60.0 : minutes);
}

bool isStandardOfKind(const Method* method, std::string_view component) {
    if (method == nullptr)
        return false;
    const int kind = method->calculation.kind;
    return (kind == kInternalStandardClassic || kind == kInternalStandardAbsolute) &&
           !method->calculation.standard.empty() &&
           text::equalsNoCase(method->calculation.standard, component);
}

}  // namespace

const char* peakGridHeader(int column) {
    return column >= 0 && column < kGridFixedColumns ? kHeaders[column] : "";
}

int peakGridColumnWidth(int column) {
    return column >= 0 && column < kGridFixedColumns ? kWidths[column] : kPropertyColumnWidth;
}

const std::string* PeakGridLookup::unitOf(std::string_view component) const {
    const auto it = units.find(text::foldCase(component));
    return it == units.end() ? nullptr : &it->second;
}

std::optional<double> PeakGridLookup::criticalOf(std::string_view component) const {
    const auto it = criticalValues.find(text::foldCase(component));
    if (it == criticalValues.end())
        return std::nullopt;
    return it->second;
}

int PeakGrid::rowOfPeak(int k) const {
    if (k < 0)
        return -1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].kind == PeakGridRow::Kind::Peak && rows[i].peak == k)
            return static_cast<int>(i);
    }
    return -1;
}

bool peakGridShowsGroups(const ProgramOptions& options, bool calibration) {
    return options.viewGroup && !(calibration && options.noViewGroupCalib);
}

std::optional<int> criticalBar(double concentration, double critical, bool& full) {
    full = false;
    if (!(std::fabs(critical) > 1e-50))
        return std::nullopt;
    if (concentration >= critical) {
        full = true;
        return 100;
    }
    const double percent = std::trunc(concentration * 100.0 / critical);
    // A negative value (or a negative limit) never draws outside the cell.
    if (!(percent > 0))
        return 0;
    return percent >= 100 ? 100 : static_cast<int>(percent);
}

PeakGrid buildPeakGrid(const PeakTable& table, const Method* method, const Passport& passport,
                       const ProgramOptions& options, const PeakGridLookup& lookup) {
    PeakGrid grid;
    const bool calibration = passport.calibration != 0;
    grid.editable = calibration;
    for (const char* h : kHeaders)
        grid.headers.emplace_back(h);
    // One column per distinct property key, in the order first met.
    std::vector<std::string> keys;
    {
        std::set<std::string> seen;
        for (const Peak& p : table.peaks)
            for (const PeakProperty& prop : p.properties)
                if (seen.insert(prop.key).second)
                    keys.push_back(prop.key);
    }
    for (const std::string& k : keys)
        grid.headers.push_back(k);
    const std::size_t columns = grid.headers.size();

    auto peakRow = [&](int k, bool inGroup) {
        const Peak& p = table.peaks[static_cast<std::size_t>(k)];
        PeakGridRow row;
        row.peak = k;
        row.inGroup = inGroup;
        row.cells.assign(columns, std::string());
        row.cells[kGridNumber] = text::format("%d", k + 1);
        row.cells[kGridTime] = timeText(p.apexTime, options);
        row.cells[kGridHeight] = FormatValue(p.height, 1, options);
        row.cells[kGridArea] = FormatValue(p.area, 2, options);
        row.cells[kGridReference] = p.isReference != 0 ? "Да" : "Нет";
        row.cells[kGridConcentration] = FormatValue(p.concentration, 0, options);
        if (const std::string* unit = lookup.unitOf(p.componentName))
            row.cells[kGridUnit] = *unit;
        row.cells[kGridComponent] = p.componentName;
        if (!inGroup) {
            row.cells[kGridWidth] = FormatValue(p.endTime - p.startTime, 2, options);
            for (std::size_t i = 0; i < keys.size(); ++i)
                if (const std::string* v = findProperty(p.properties, keys[i]))
                    row.cells[kGridFixedColumns + i] = *v;
        }
        if (!p.componentName.empty() && !isStandardOfKind(method, p.componentName)) {
            if (const std::optional<double> c = lookup.criticalOf(p.componentName))
                row.barPercent = criticalBar(p.concentration, *c, row.barFull);
        }
        return row;
    };

    std::vector<bool> shown(table.size(), false);
    grid.groupsShown = peakGridShowsGroups(options, calibration);
    if (grid.groupsShown && method != nullptr) {
        const auto& groups = method->groups;
        // The groups are the runs of equal consecutive group names.
        std::vector<std::string> names;
        for (std::size_t i = 0; i < groups.size(); ++i)
            if (i == 0 || groups[i].group != groups[i - 1].group)
                names.push_back(groups[i].group);
        std::vector<int> groupOfPeak(table.size(), -1);
        for (std::size_t k = 0; k < table.size(); ++k)
            groupOfPeak[k] = componentGroupOf(groups, table.peaks[k].componentName);
        for (int g = 0; g < static_cast<int>(names.size()); ++g) {
            double height = 0, area = 0, concentration = 0;
            int count = 0;
            for (std::size_t k = 0; k < table.size(); ++k) {
                if (groupOfPeak[k] != g)
                    continue;
                grid.rows.push_back(peakRow(static_cast<int>(k), true));
                shown[k] = true;
                const Peak& p = table.peaks[k];
                height += p.height;
                area += p.area;
                concentration += p.concentration;
                ++count;
            }
            if (count == 0)
                continue;
            PeakGridRow total;
            total.kind = PeakGridRow::Kind::GroupTotal;
            total.cells.assign(columns, std::string());
            total.cells[kGridHeight] = FormatValue(height, 1, options);
            total.cells[kGridArea] = FormatValue(area, 2, options);
            total.cells[kGridConcentration] = FormatValue(concentration, 0, options);
            total.cells[kGridComponent] = names[static_cast<std::size_t>(g)];
            grid.rows.push_back(std::move(total));
        }
    }
    for (std::size_t k = 0; k < table.size(); ++k)
        if (!shown[k])
            grid.rows.push_back(peakRow(static_cast<int>(k), false));

    if (!calibration && method != nullptr) {
        for (const MethodComponent& c : method->calculation.components) {
            if (c.name.empty())
                continue;
            bool found = false;
            for (const Peak& p : table.peaks)
                if (text::equalsNoCase(p.componentName, c.name)) {
                    found = true;
                    break;
                }
            if (found)
                continue;
            PeakGridRow row;
            row.kind = PeakGridRow::Kind::NotFound;
            row.cells.assign(columns, std::string());
            row.cells[kGridTime] = timeText(c.retentionTime, options);
            row.cells[kGridConcentration] = kNotFoundText;
            if (const std::string* unit = lookup.unitOf(c.name))
                row.cells[kGridUnit] = *unit;
            row.cells[kGridComponent] = c.name;
            grid.rows.push_back(std::move(row));
        }
    }
    return grid;
}

bool setPeakAmountTyped(PeakTable& table, bool calibration, int peak, std::string_view typed) {
    Peak* p = table.at(peak);
    if (!calibration || p == nullptr)
        return false;
    const std::optional<double> v = text::parseDouble(typed, true);
    if (!v || !std::isfinite(*v))
        return false;
    p->concentration = *v;
    return true;
}

bool togglePeakReference(PeakTable& table, bool calibration, int peak) {
    Peak* p = table.at(peak);
    if (!calibration || p == nullptr)
        return false;
    p->isReference = p->isReference != 0 ? 0 : 1;
    return true;
}

bool setPeakComponent(PeakTable& table, bool calibration, int peak, std::string_view name) {
    Peak* p = table.at(peak);
    if (!calibration || p == nullptr)
        return false;
    p->componentName = std::string(name);
    return true;
}

bool setPeakPropertyValue(PeakTable& table, bool calibration, int peak, std::string_view key,
                          std::string_view value) {
    Peak* p = table.at(peak);
    if (!calibration || p == nullptr || key.empty())
        return false;
    setProperty(p->properties, key, value);
    return true;
}

}  // namespace zelmora
