#include "database/db_time.h"

#include "app/text.h"

namespace zelmora::db {

std::string toDbTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return text::format("%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                        tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::optional<std::time_t> fromDbTime(std::string_view s) {
    // Exactly "YYYY-MM-DD HH:MM:SS".
    if (s.size() != 19 || s[4] != '-' || s[7] != '-' || s[10] != ' ' || s[13] != ':' ||
        s[16] != ':')
        return std::nullopt;
    auto number = [&](std::size_t pos, std::size_t len) -> int {
        int v = 0;
        for (std::size_t i = pos; i < pos + len; ++i) {
            if (s[i] < '0' || s[i] > '9')
                return -1;
            v = v * 10 + (s[i] - '0');
        }
        return v;
    };
    std::tm tm{};
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t t = mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && !(year == 1969 || year == 1970))
        return std::nullopt;
    // mktime normalises 31 February into March: reject such days.
    if (tm.tm_mday != day || tm.tm_mon != month - 1)
        return std::nullopt;
    return t;
}

CalendarDay dayOf(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

std::string dayStart(const CalendarDay& d) {
    return text::format("%04d-%02d-%02d 00:00:00", d.year, d.month, d.day);
}

std::string dayEnd(const CalendarDay& d) {
    return text::format("%04d-%02d-%02d 23:59:59", d.year, d.month, d.day);
}

std::string displayTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return text::format("%02d.%02d.%04d %02d:%02d:%02d", tm.tm_mday, tm.tm_mon + 1,
                        tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

}  // namespace zelmora::db
