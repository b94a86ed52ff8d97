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

// Whether setting the clock to `wanted` is a correction that the program could ask for, the
// clock now reading `now`: the program sets the clock only when it is off by less than
// 30 minutes, and the helper does no more than that for it.
//
// The program counts the error in whole seconds, between the server's whole second S and
// its own reading of the clock cut to a whole second, and corrects errors of up to
// 1,799 s. It asks for S plus half a second plus half the round trip, at most 1 s in all;
// so S is `wanted` less half a second, cut to a whole second (true of anything it adds
// below 1.5 s). Its reading of the clock came shortly before this one (it starts the
// helper at once): our whole second, or the one before when a second turned in between.
// So every request it makes has S from 1,800 s before our whole second to 1,799 s after
// it, and anything outside that is 1,800 s or more from both readings it could have had:
// beyond its rule. Only an error of exactly 1,800 s may pass, when that second of doubt
// allows it. (The plain difference of the two instants against 1,800 s would refuse the
// program's largest correction backwards whenever more than half a second passed between
// its reading and ours, and let an error of 1,800 s through more often.)
bool isCorrection(ClockInstant wanted, ClockInstant now);

// The server's whole second that `wanted` stands for, less the whole second of `now`: the
// error as the program counts it, which isCorrection bounds.
long long secondsAhead(ClockInstant wanted, ClockInstant now);
