#pragma once

#include <cstdint>

// Local wall-clock time read with one fixed bias (UTC = local time + bias minutes), on the
// proleptic Gregorian calendar, without the zone's rules.
//
// Setting the clock goes through here so that a local date and time is turned back into
// UTC with exactly the bias it was computed with. Asking the zone instead (mktime) has to
// guess which of two 01:30s is meant when the clocks go back, and what a skipped 02:30 is,
// and guesses an hour wrong.
//
// Pure arithmetic on the standard library alone: the privileged clock helper builds this
// file on its own.
namespace WallClock {

constexpr std::int64_t SecondsPerDay = 86400; // seconds

struct LocalTime {
    int year = 1970;
    int month = 1;       // 1..12
    int day = 1;         // 1..31
    int secondOfDay = 0; // 0..86399
};

// Seconds since 1970-01-01 00:00:00 UTC of a local date and time of day.
std::int64_t toUtcSeconds(const LocalTime &local, std::int32_t bias);
// The local date and time of day of a UTC second.
LocalTime fromUtcSeconds(std::int64_t utc, std::int32_t bias);

// The two steps of setting the clock, each from the clock's reading at that moment:
// the date step puts in a date and keeps the local time of day;
std::int64_t withLocalDate(std::int64_t utcNow, int year, int month, int day, std::int32_t bias);
// the time step puts in a time of day and keeps the local date.
std::int64_t withLocalTimeOfDay(std::int64_t utcNow, int secondOfDay, std::int32_t bias);

// True for a real calendar date and a second of the day.
bool isValid(const LocalTime &local);

} // namespace WallClock
