#pragma once

#include <optional>
#include <string_view>

// The clock helper's request: the local date (YYYY-MM-DD, from 1970), the local time of day
// (HH:MM:SS) and the time-zone bias in minutes (UTC = local + bias, -1440 to 1440, an
// optional sign and 1 to 4 digits). Returns the seconds since 1970-01-01 00:00:00 UTC that
// it names, or nothing when any part is not exactly of that form or names a moment before
// 1970. Pure: no clock, no time zone, no environment.
std::optional<long long> parseClockRequest(std::string_view date, std::string_view time, std::string_view bias);
