#pragma once

#include <optional>
#include <string_view>

// The instant a request names: seconds since 1970-01-01 00:00:00 UTC and the part of the
// second after them.
struct ClockInstant {
    long long seconds = 0;
    long nanoseconds = 0; // 0..999,999,999, whole milliseconds
};

// The clock helper's request: the local date (YYYY-MM-DD, from 1970), the local time of day
// (HH:MM:SS, or HH:MM:SS.mmm with exactly three digits of milliseconds) and the time-zone
// bias in minutes (UTC = local + bias, -1440 to 1440, an optional sign and 1 to 4 digits).
// Returns the instant it names, or nothing when any part is not exactly of that form, or the
// instant lies before 1970 or beyond what the system's time_t holds. Pure: no clock, no time
// zone, no environment.
std::optional<ClockInstant> parseClockRequest(std::string_view date, std::string_view time, std::string_view bias);
