#include "reports/report_stat.h"

#include "app/text.h"
#include "document/passport.h"

namespace zelmora {

namespace {

std::string fileNameOf(const std::filesystem::path& file) {
    const std::string s = file.string();
    const std::size_t slash = s.find_last_of("\\/");
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

std::string numberText(std::size_t i, const std::optional<std::size_t>& current) {
    return text::format(current && *current == i ? "%d*" : "%d", static_cast<int>(i + 1));
}

}  // namespace

std::filesystem::path CReportStat::templatePath(const std::filesystem::path& programFolder) {
    return programFolder / "Templates" / "test.rpt";
}

std::string CReportStat::rsdText(const std::optional<double>& rsd, int kind,
                                 const ProgramOptions& o) {
    if (!rsd)
        return "—";
    return kind < 0 ? text::format("%.3f", *rsd) : FormatValue(*rsd, kind, o);
}

void CReportStat::fill(CPreview& v, const StatReportInput& in) {
    static const std::vector<StatEntry> kNone;
    const std::vector<StatEntry>& entries = in.entries ? *in.entries : kNone;
    const ProgramOptions& o = in.options;

    v.replaceField("__ReportDate", formatLocalTime(in.now, "%d.%m.%Y, %H:%M:%S"));

    if (v.cutTemplateSection("__ChrmTemplateSection")) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            v.paste();
            v.replaceField("__Num", numberText(i, in.current));
            v.replaceField("__File", fileNameOf(entries[i].file));
            v.replaceField("__Sample", entries[i].sample);
        }
    }

    if (v.cutTemplateSection("__ComponentSection")) {
        const std::vector<rtf::Element> block = v.rowBuffer();
        std::vector<rtf::Element>& els = v.document().elements;
        std::size_t at = v.caret();
        for (const ComponentStatistics* c : in.components) {
            // Put a copy of the block in and fill it; what follows the block
            // is not touched, so the copy ends where that tail begins.
            const std::size_t tail = els.size() - std::min(at, els.size());
            els.insert(els.begin() + static_cast<std::ptrdiff_t>(els.size() - tail), block.begin(),
                       block.end());
            v.replaceField("__Component", c->name);
            if (v.cutTemplateSection("__ResultsTemplateSection")) {
                for (std::size_t i = 0; i < entries.size(); ++i) {
                    v.paste();
                    v.replaceField("__Number", numberText(i, in.current));
                    const StatPeak* p = entries[i].peakOf(c->name);
                    v.replaceField("__Time", p ? text::format("%.3f", p->time) : "");
                    v.replaceField("__Height", p ? FormatValue(p->height, 1, o) : "0");
                    v.replaceField("__Area", p ? FormatValue(p->area, 2, o) : "0");
                    v.replaceField("__Concentration",
                                   p ? FormatValue(p->concentration, 0, o) : "0");
                }
            }
            v.replaceField("__MT", text::format("%.3f", c->meanTime));
            v.replaceField("__ST", rsdText(c->rsdTime, -1, o));
            v.replaceField("__MH", FormatValue(c->meanHeight, 1, o));
            v.replaceField("__SH", rsdText(c->rsdHeight, 1, o));
            v.replaceField("__MA", FormatValue(c->meanArea, 2, o));
            v.replaceField("__SA", rsdText(c->rsdArea, 2, o));
            v.replaceField("__MC", FormatValue(c->meanConcentration, 0, o));
            v.replaceField("__SC", rsdText(c->rsdConcentration, 0, o));
            v.replaceField("__ConThresh", detectionLimitText(c->detectionLimit, o));
            at = els.size() - tail;
        }
    }

    v.replaceField("__Noise", in.noise);
    v.replaceField("__Drift", in.drift);
}

}  // namespace zelmora
