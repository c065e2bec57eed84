#include "conversion/utc_time.h"

#include <chrono>

#include "platform/calendar.h"

namespace dravik {

namespace {

constexpr std::int64_t kMillisecondsPerDay = 86400000;

bool IsLeapYear(std::int64_t year) noexcept {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

void AppendDigits(std::string& out, std::int64_t value, int digits) {
    char text[8];
    for (int i = digits - 1; i >= 0; --i) {
        text[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(text, static_cast<std::size_t>(digits));
}

}  // namespace

bool TimeTagMilliseconds(const CTimeTag& tag, std::int64_t& milliseconds) {
    const std::int64_t year = tag.date / 1000;
    const std::int64_t day_of_year = tag.date % 1000;
    const std::int64_t hours = tag.time / 10000000;
    const std::int64_t minutes = tag.time / 100000 % 100;
    const std::int64_t seconds = tag.time / 1000 % 100;
    if (year > 9999 || day_of_year < 1 || day_of_year > (IsLeapYear(year) ? 366 : 365) ||
        hours > 23 || minutes > 59 || seconds > 59) {
        return false;
    }
    const std::int64_t day = DaysFromCivil(year, 1, 1) + day_of_year - 1;
    milliseconds = day * kMillisecondsPerDay + ((hours * 60 + minutes) * 60 + seconds) * 1000 +
                   tag.time % 1000;
    return true;
}

void AppendIsoUtc(std::string& out, std::int64_t milliseconds, bool with_milliseconds) {
    // Days and the time of day, rounded towards the past for moments before 1970.
    std::int64_t day = milliseconds / kMillisecondsPerDay;
    std::int64_t of_day = milliseconds % kMillisecondsPerDay;
    if (of_day < 0) {
        of_day += kMillisecondsPerDay;
        --day;
    }
    std::int64_t year = 0;
    unsigned month = 0, day_of_month = 0;
    CivilFromDays(day, year, month, day_of_month);
    AppendDigits(out, year, 4);
    out.push_back('-');
    AppendDigits(out, month, 2);
    out.push_back('-');
    AppendDigits(out, day_of_month, 2);
    out.push_back('T');
    AppendDigits(out, of_day / 3600000, 2);
    out.push_back(':');
    AppendDigits(out, of_day / 60000 % 60, 2);
    out.push_back(':');
    AppendDigits(out, of_day / 1000 % 60, 2);
    if (with_milliseconds) {
        out.push_back('.');
        AppendDigits(out, of_day % 1000, 3);
    }
    out.push_back('Z');
}

std::string IsoUtcNow() {
    const auto now = std::chrono::time_point_cast<std::chrono::seconds>(
        std::chrono::system_clock::now());
    std::string text;
    AppendIsoUtc(text, static_cast<std::int64_t>(now.time_since_epoch().count()) * 1000, false);
    return text;
}

}  // namespace dravik
