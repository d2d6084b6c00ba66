#include "document/passport.h"

#include <cstdio>

#include "app/text.h"

namespace zelmora {
namespace {

std::time_t startOfLocalDay(std::time_t now) {
    std::tm tm{};
    localtime_r(&now, &tm);
    tm.tm_hour = 0;
    tm.tm_min = 0;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// At most `maxChars` characters of UTF-8 text, never cutting one in two.
std::string_view firstChars(std::string_view s, std::size_t maxChars) {
    std::size_t pos = 0;
    for (std::size_t n = 0; n < maxChars && pos < s.size(); ++n)
        text::decodeUtf8(s, pos);
    return s.substr(0, pos);
}

}  // namespace

Passport::Passport() : Passport(std::time(nullptr)) {}

Passport::Passport(std::time_t now) : samplingTime(startOfLocalDay(now)), analysisTime(now) {}

void Passport::assignExceptComment(const Passport& other) {
    const std::string keep = comment;
    *this = other;
    comment = keep;
}

std::string formatLocalTime(std::time_t t, const char* strftimeFormat) {
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr)
        return {};
    char buf[64];
    const std::size_t n = std::strftime(buf, sizeof buf, strftimeFormat, &tm);
    return std::string(buf, n);
}

std::string Passport::text() const {
    // The comment is limited to 255 characters (not bytes), so that a
    // Cyrillic comment is never cut inside a letter.
    const std::string shortComment(firstChars(comment, 255));
    return text::format(
        "ПРОБА: \t%s\r\n\t%s\r\nОбъём: %g        Разведение: %g        Норма: %g\r\nДата / Время: "
        "%s         Точка отбора:  %s\r\n\r\nАНАЛИЗ\r\nОператор: %s        Метод: "
        "%s\r\nПродолжительность: %g мин        Номер в серии: %d\r\nДата / Время анализа: "
        "%s\r\nЭлюент: %s        Реагент: %s\r\n\r\nКОММЕНТАРИЙ: %s",
        sample.c_str(), sample2.c_str(), sampleAmount, standardAmount, norm,
        formatLocalTime(samplingTime, "%d.%m.%y   %H:%M").c_str(), point.c_str(),
        operatorName.c_str(), method.c_str(), duration, numberInSeries,
        formatLocalTime(analysisTime, "%d.%m.%y   %H:%M:%S").c_str(), eluent.c_str(),
        reagent.c_str(), shortComment.c_str());
}

}  // namespace zelmora
