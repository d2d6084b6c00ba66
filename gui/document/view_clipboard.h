#pragma once
// The peak table as the chromatogram window copies it to the clipboard, for
// pasting into a spreadsheet: one line per peak with the apex time, height,
// area and concentration, and the component name in double quotes, TAB
// separated, lines ending in CR LF. The numbers carry decimal commas whatever
// the system's settings; component names are copied as they are (a name such
// as "2.2-Диметилбутан" keeps its dot).

#include <string>

namespace zelmora {
class PeakTable;
struct ProgramOptions;
}  // namespace zelmora

namespace zelmora::gui {

// The clipboard text of `table`, numbers formatted with the digits and
// notation of `options` (heights, areas and concentrations as the program
// formats them everywhere).
std::string peakTableClipboardText(const PeakTable& table, const ProgramOptions& options);

// A number's text with its decimal point written as a comma.
std::string withDecimalComma(std::string number);

}  // namespace zelmora::gui
