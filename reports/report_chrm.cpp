#include "reports/report_chrm.h"

#include <cmath>

#include "app/text.h"
#include "processing/quantitation.h"

namespace zelmora {

namespace {

// The report page's section flags, by index (see reportSectionName).
enum Section {
    kColumn = 0,
    kComment = 1,
    kCommon = 2,
    kEluent = 3,
    kMethodSection = 4,
    kPicture = 5,
    kReagent = 6,
    kSample = 7,
    kTable = 8,
};

std::string dateText(std::time_t t) {
    return formatLocalTime(t, "%d.%m.%Y, %H:%M:%S");
}

std::string g4(double v) {
    return text::format("%.4g", v);
}

// The group a component belongs to, or nullptr.
const std::string* groupOf(const Method& m, std::string_view component) {
    for (const ComponentGroup& g : m.groups)
        if (!g.group.empty() && text::equalsNoCase(g.component, component))
            return &g.group;
    return nullptr;
}

}  // namespace

std::filesystem::path CReportChrm::templatePath(const std::filesystem::path& programFolder,
                                                const Method* method) {
    const bool byIndices = method != nullptr && method->calculation.identification != 0;
    return programFolder / "Templates" / (byIndices ? "reporti.rpt" : "report.rpt");
}

const char* CReportChrm::countMethodName(int kind) {
    return calculationKindReportName(kind);
}

std::string CReportChrm::formulaText(const MethodComponent& c) {
    const char* op = c.curveType >= 6 && c.curveType <= 11 ? " / " : " * ";
    const double k[4] = {c.k0, c.k1, c.k2, c.k3};
    const char* power[4] = {"", "X", "X^2", "X^3"};
    std::string out = "\n";
    bool any = false;
    for (int i = 0; i < 4; ++i) {
        if (k[i] == 0)
            continue;
        any = true;
        std::string term = k[i] >= 0 ? " + " : " - ";
        term += text::format("%.4f", std::fabs(k[i]));
        if (i > 0)
            term += std::string(op) + power[i];
        out = term + out;
    }
    return any ? out : "0\n";
}

std::string CReportChrm::volumeText(const Passport& p, const Method* method) {
    const int kind = method ? method->calculation.kind : 0;
    if (kind == 2 || kind == 3) {
        if (p.calibration != 0)
            return {};
        return text::format("Масса пробы: %.5g; Проценты: %.5g; Массса стандарта: %.5g",
                            p.sampleAmount, p.norm, p.standardAmount);
    }
    if (kind < 0 || kind > 3)
        return text::format("Норма: %.5g", p.norm);
    if (method && method->extra.kind == 1)
        return text::format("Объем: %.5g; Разведение: %.5g; К-во спирта в пробе: %.5g;",
                            p.sampleAmount, p.standardAmount, p.norm);
    return text::format("Объем: %.5g; Разведение: %.5g", p.sampleAmount, p.standardAmount);
}

void CReportChrm::fill(CPreview& v, const ChromatogramReportInput& in) {
    static const Passport kNoPassport(0);
    static const PeakTable kNoPeaks;
    const Passport& p = in.passport ? *in.passport : kNoPassport;
    const PeakTable& peaks = in.peaks ? *in.peaks : kNoPeaks;
    const Method* m = in.method;
    const ReportSettings& r = in.report;
    const auto& s = r.sections;
    const bool groupsInUse = m != nullptr && r.groups;

    // Common part: the optional sections.
    v.keepSection("__CommonSection", s[kCommon]);
    v.keepSection("__PictureSection", s[kPicture]);
    v.keepSection("__SampleSection", s[kSample]);
    v.keepSection("__MethodSection", s[kMethodSection]);
    v.keepSection("__ColumnSection", s[kColumn]);
    v.keepSection("__CommentSection", s[kComment]);
    v.keepSection("__GroupSection", r.groups);
    v.keepSection("__CalibPictureSection", r.calibration);
    v.keepSection("__CalibSection", r.calibration);
    const bool gas = p.isGas();
    v.keepSection(gas ? "__TemperatureSection" : "__EluentSection", s[kEluent]);
    v.keepSection(gas ? "__GasSection" : "__ReagentSection", s[kReagent]);
    v.keepSection(gas ? "__EluentSection" : "__TemperatureSection", false);
    v.keepSection(gas ? "__ReagentSection" : "__GasSection", false);
    v.keepSection("__TableSection", s[kTable] && !peaks.empty());

    // Its fields. The gas parameters are the same two passport texts as the
    // eluent and the reagent.
    v.replaceField("__Sample1", p.sample);
    v.replaceField("__Detector", p.detector);
    v.replaceField("__Method", p.method);
    v.replaceField(gas ? "__Gas" : "__Eluent", p.eluent);
    v.replaceField(gas ? "__Temperature" : "__Reagent", p.reagent);
    v.replaceField("__Operator", p.operatorName);
    const std::size_t slash = in.fileName.find_last_of("\\/");
    v.replaceField("__FileName",
                   slash == std::string::npos ? in.fileName : in.fileName.substr(slash + 1));
    v.replaceField("__Place", "точка отбора: " + p.point + "; пункт отбора: " + p.place);
    v.replaceField("__Column", p.column);
    v.replaceField("__Comment", p.comment);
    v.replaceField("__Graduation", "");
    if (m == nullptr) {
        v.keepSection("__GradMethodSection", false);
        v.keepSection("__CountMethodSection", false);
    } else {
        v.keepSection("__CountMethodSection", true);
        v.keepSection("__GradMethodSection", false);
        v.keepSection("__NormSection", m->calculation.kind == 4);
        v.replaceField("__CountMethod", countMethodName(m->calculation.kind));
        v.replaceField("__MtdParam", m->calculation.response == 0 ? "высота" : "площадь");
    }
    v.replaceField("__NumberInSeria", text::format("%d", p.numberInSeries));
    v.replaceField("__ColumnNumber", text::format("%d", p.columnNumber));
    v.replaceField("__Volume", volumeText(p, m));
    v.replaceField("__Norm", g4(p.norm));
    v.replaceField("__Duration", g4(p.duration));
    v.replaceField("__SeedSize", g4(p.grain));
    v.replaceField("__Diamiter", g4(p.diameter));
    v.replaceField("__Length", g4(p.length));
    v.replaceField("__EluentFlow", g4(p.eluentFlow));
    v.replaceField("__EluentTemperature", g4(p.eluentTemperature));
    v.replaceField("__EluentPressuer", g4(p.eluentPressure));
    v.replaceField("__ReagentFlow", g4(p.reagentFlow));
    v.replaceField("__ReagentTemperature", g4(p.reagentTemperature));
    v.replaceField("__ReagentPressuer", g4(p.reagentPressure));
    v.replaceField("__Date", dateText(p.samplingTime));
    v.replaceField("__AnDate", dateText(p.analysisTime));
    v.replaceField("__ReportDate", dateText(in.now));

    // Peak table: one row per peak with a retention time of zero or more.
    v.replaceField("__TGROUP", groupsInUse ? "Группы" : "");
    if (v.cutTemplateSection("__TableTemplateSection") && !peaks.empty()) {
        int number = 0;
        for (const Peak& peak : peaks.peaks) {
            if (peak.apexTime < 0)
                continue;
            v.paste();
            v.replaceField("__Number", text::format("%d", ++number));
            v.replaceField("__Time", text::format("%.3f", peak.apexTime));
            v.replaceField("__Height", FormatValue(peak.height, 1, in.options));
            v.replaceField("__Area", FormatValue(peak.area, 2, in.options));
            v.replaceField("__Concentration", FormatValue(peak.concentration, 0, in.options));
            const std::string* index = findProperty(peak.properties, kRetentionIndexKey);
            v.replaceField("__Index", index ? *index : std::string());
            std::optional<std::string> unit;
            if (in.unitOf)
                unit = in.unitOf(peak.componentName);
            v.replaceField("__Quant", unit ? *unit : std::string(7, ' '));
            std::string name = peak.componentName;
            if (groupsInUse)
                if (const std::string* g = groupOf(*m, peak.componentName))
                    name += "\t" + *g;
            v.replaceField("__Component", name);
        }
    }

    // Group table: the sums over each group's peaks, groups in the order
    // they first appear on the method's groups page.
    if (v.cutTemplateSection("__GroupTemplateSection") && m != nullptr) {
        std::vector<std::string> groups;
        for (const ComponentGroup& g : m->groups) {
            if (g.group.empty())
                continue;
            bool seen = false;
            for (const std::string& known : groups)
                seen = seen || known == g.group;
            if (!seen)
                groups.push_back(g.group);
        }
        int number = 0;
        for (const std::string& group : groups) {
            double height = 0, area = 0, concentration = 0;
            for (const Peak& peak : peaks.peaks) {
                const std::string* g = groupOf(*m, peak.componentName);
                if (g != nullptr && *g == group) {
                    height += peak.height;
                    area += peak.area;
                    concentration += peak.concentration;
                }
            }
            v.paste();
            v.replaceField("__NumberG", text::format("%d", ++number));
            v.replaceField("__HeightG", FormatValue(height, 1, in.options));
            v.replaceField("__AreaG", FormatValue(area, 2, in.options));
            v.replaceField("__ConcentrationG", FormatValue(concentration, 0, in.options));
            v.replaceField("__GroupName", group + "\n");
        }
    }

    // Calibration formulas of the components ticked on the report page.
    if (v.cutTemplateSection("__CalibTemplateSection") && m != nullptr) {
        const auto& components = m->calculation.components;
        for (std::size_t i = 0; i < components.size(); ++i) {
            for (const auto& [name, ticked] : r.calibrationComponents) {
                if (!ticked || name != components[i].name)
                    continue;
                v.paste();
                v.replaceField("__CNumber", text::format("%zu", i + 1));
                v.replaceField("__CName", name);
                v.replaceField("__CFormul", formulaText(components[i]));
            }
        }
    }

    // A picture that could not be made is left out, its marker with it.
    if (in.chromatogramPicture)
        v.insertPicture("__Picture", *in.chromatogramPicture);
    else
        v.replaceField("__Picture", "");
    if (in.calibrationPicture)
        v.insertPicture("__CalibPicture", *in.calibrationPicture, true);
    else
        v.replaceField("__CalibPicture", "");
    v.replaceField("__Operator", p.operatorName);
}

}  // namespace zelmora
