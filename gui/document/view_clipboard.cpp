#include "gui/document/view_clipboard.h"

#include <algorithm>

#include "app/program_settings.h"
#include "app/text.h"
#include "document/peak_table.h"

namespace zelmora::gui {

std::string withDecimalComma(std::string number) {
    std::replace(number.begin(), number.end(), '.', ',');
    return number;
}

std::string peakTableClipboardText(const PeakTable& table, const ProgramOptions& options) {
    std::string out;
    for (const Peak& p : table.peaks) {
        out += withDecimalComma(text::format("%.3f", p.apexTime));
        out += '\t';
        out += withDecimalComma(FormatValue(p.height, 1, options));
        out += '\t';
        out += withDecimalComma(FormatValue(p.area, 2, options));
        out += '\t';
        out += withDecimalComma(FormatValue(p.concentration, 0, options));
        out += "\t\"";
        // A tab or line break inside a name would shift the columns or split
        // the row in the spreadsheet.
        std::string name = p.componentName;
        std::replace_if(
            name.begin(), name.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; },
            ' ');
        out += name;
        out += "\"\r\n";
    }
    return out;
}

}  // namespace zelmora::gui
