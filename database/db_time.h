#pragma once
// Date-times in the analyses database: local calendar time in whole seconds,
// kept as ISO text "YYYY-MM-DD HH:MM:SS" so that ranges compare as text and
// the file reads the same on every workstation of the laboratory.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace zelmora::db {

// Local time of `t` as "YYYY-MM-DD HH:MM:SS".
std::string toDbTime(std::time_t t);
// The inverse; nullopt for anything that is not such a text of a valid date.
std::optional<std::time_t> fromDbTime(std::string_view text);

// A calendar day of the search dialog's date pickers.
struct CalendarDay {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    bool operator==(const CalendarDay&) const = default;
};
// The local day of `t`.
CalendarDay dayOf(std::time_t t);
// "YYYY-MM-DD 00:00:00" and "YYYY-MM-DD 23:59:59" of a day.
std::string dayStart(const CalendarDay& d);
std::string dayEnd(const CalendarDay& d);
// "%d.%m.%Y %H:%M:%S" in local time, as the grids and the work log show times.
std::string displayTime(std::time_t t);

}  // namespace zelmora::db
