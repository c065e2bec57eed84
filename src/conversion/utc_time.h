// Moments in UTC for the outputs that store times rather than print them:
// the logger's time tag as a count of milliseconds, and ISO 8601 texts.
#pragma once

#include <cstdint>
#include <string>

#include "conversion/output_layout.h"

namespace dravik {

// The moment a time tag names, in milliseconds since 1970-01-01 00:00:00
// UTC; false for a tag that names none (day 0 or past its year's last day,
// an hour past 23, minutes or seconds past 59, a year past 9999).
bool TimeTagMilliseconds(const CTimeTag& tag, std::int64_t& milliseconds);

// "2026-04-10T10:00:00.250Z" (with milliseconds) or "2026-04-10T10:00:00Z",
// for a moment in the years 1 to 9999.
void AppendIsoUtc(std::string& out, std::int64_t milliseconds, bool with_milliseconds);

// The current moment as "2026-04-10T10:00:00Z".
std::string IsoUtcNow();

}  // namespace dravik
