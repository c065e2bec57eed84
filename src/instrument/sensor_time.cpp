// Texts of the time fits: dates, times of day and angles made from raw values.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "instrument/sensor.h"

namespace dravik {

namespace {

// The latest count of seconds the calendar text can show: 9999-12-31 23:59:59 UTC.
constexpr std::int64_t kLatestTime2 = 253402300799LL;

void PutTwoDigits(char* at, unsigned value) noexcept {
    at[0] = static_cast<char>('0' + value / 10);
    at[1] = static_cast<char>('0' + value % 10);
}

void Time2Text(std::string& text, std::int64_t seconds) {
    if (seconds > kLatestTime2 || seconds < -kLatestTime2) {
        text = CSensor::kTimeOutOfRangeText;
        return;
    }
    if (seconds >= 0) {
        // From 1970 on, the calendar gives the text of "%y-%m-%d %H.%M.%S"
        // without the C library's time zone lock.
        using namespace std::chrono;
        const sys_seconds time{std::chrono::seconds{seconds}};
        const sys_days day = floor<days>(time);
        const year_month_day date{day};
        const hh_mm_ss clock{time - day};
        char buffer[] = "yy-mm-dd HH.MM.SS";
        PutTwoDigits(buffer, static_cast<unsigned>(static_cast<int>(date.year()) % 100));
        PutTwoDigits(buffer + 3, static_cast<unsigned>(date.month()));
        PutTwoDigits(buffer + 6, static_cast<unsigned>(date.day()));
        PutTwoDigits(buffer + 9, static_cast<unsigned>(clock.hours().count()));
        PutTwoDigits(buffer + 12, static_cast<unsigned>(clock.minutes().count()));
        PutTwoDigits(buffer + 15, static_cast<unsigned>(clock.seconds().count()));
        text.assign(buffer, sizeof buffer - 1);
        return;
    }
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    char buffer[64];
    std::size_t n = 0;
    if (gmtime_r(&t, &tm) != nullptr)
        n = std::strftime(buffer, sizeof buffer, "%y-%m-%d %H.%M.%S", &tm);
    if (n == 0) {
        text = CSensor::kTimeOutOfRangeText;
    } else {
        text.assign(buffer, n);
    }
}

}  // namespace

int CSensor::FormatTimeInteger(std::string& text, std::int64_t raw, bool is_unsigned) const {
    if (m_fit_type == kFitDDMMYY) {
        char buffer[32];
        int n = is_unsigned
                    ? std::snprintf(buffer, sizeof buffer, "%06u", static_cast<unsigned>(raw))
                    : std::snprintf(buffer, sizeof buffer, "%06d", static_cast<int>(raw));
        std::string_view s(buffer, static_cast<std::size_t>(n));
        text.clear();
        text.append(s.substr(0, 2))
            .append("/")
            .append(s.substr(2, 2))
            .append("/")
            .append(s.substr(s.size() - 2));
        return kValueOk;
    }
    if (m_fit_type == kFitTime2) {
        Time2Text(text, raw);
        return kValueOk;
    }
    return kValueFitNotAllowed;
}

int CSensor::FormatTimeUnsigned(std::string& text, std::uint32_t raw) const {
    if (m_data_type == kDataHS)
        return FormatTimeInteger(text, static_cast<std::int32_t>(raw), false);
    return FormatTimeInteger(text, raw, true);
}

int CSensor::FormatTimeSigned(std::string& text, std::int32_t raw) const {
    return FormatTimeInteger(text, raw, false);
}

int CSensor::FormatTimeDouble(std::string& text, double raw) const {
    if (m_fit_type != kFitDDMM && m_fit_type != kFitHHMMSS && m_fit_type != kFitTime2)
        return kValueFitNotAllowed;
    // Infinity and NaN have no time or angle text.
    if (!std::isfinite(raw)) return kValueNotFinite;
    const double v = std::fabs(raw);
    // Numbers are written with to_chars so that the text never depends on the
    // locale; the buffer holds the fixed-point text of the largest double.
    char buffer[400];
    if (m_fit_type == kFitDDMM) {
        double whole = std::floor(v);
        double fraction = v - whole;
        double hundreds = whole / 100.0;
        double degrees = std::floor(hundreds);
        int minutes = static_cast<int>((hundreds - degrees) * 100.0 + 0.5);
        int seconds = static_cast<int>(fraction * 60.0 + 0.5);
        // Degrees are whole numbers of any size, written in full as an int
        // would be, never overflowing.
        auto [end, ec] =
            std::to_chars(buffer, buffer + sizeof buffer, degrees, std::chars_format::fixed, 0);
        if (ec != std::errc()) return kValueNotFinite;
        char tail[32];
        std::snprintf(tail, sizeof tail, " %02d' %02d\"", minutes, seconds);
        text.assign(buffer, end).append(tail);
        return kValueOk;
    }
    if (m_fit_type == kFitHHMMSS) {
        // "%09.2f": two decimals, zero-padded on the left to nine characters,
        // written behind room for the padding.
        constexpr int kPadded = 9;
        char* first = buffer + kPadded;
        auto [end, ec] =
            std::to_chars(first, buffer + sizeof buffer, v, std::chars_format::fixed, 2);
        if (ec != std::errc()) return kValueNotFinite;
        if (end - first < kPadded) {
            first = end - kPadded;
            std::fill(first, buffer + kPadded, '0');
        }
        text.assign(first, 2).append(":").append(first + 2, 2).append(":").append(end - 5, 5);
        return kValueOk;
    }
    double seconds = std::trunc(v);
    if (seconds > static_cast<double>(kLatestTime2)) {
        text = kTimeOutOfRangeText;
    } else {
        Time2Text(text, static_cast<std::int64_t>(seconds));
    }
    return kValueOk;
}

}  // namespace dravik
