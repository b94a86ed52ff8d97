#include "ClockRequest.h"

#include "platform/WallClock.h"

#include <ctime>
#include <limits>

namespace {

constexpr int MaxBias = 1440; // minutes
constexpr long NanosecondsPerMillisecond = 1000000;
constexpr long HalfSecond = 500000000;   // nanoseconds: the least the program adds to a server's second
constexpr long long LargestError = 1799; // seconds: the largest error the program corrects

// Digits at [from, from + count) of text as a number, or nothing when any is not a digit.
std::optional<int> digits(std::string_view text, std::size_t from, std::size_t count)
{
    if (from + count > text.size())
        return std::nullopt;
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

std::optional<ClockInstant> parseClockRequest(std::string_view date, std::string_view time, std::string_view bias)
{
    if (date.size() != 10 || date[4] != '-' || date[7] != '-')
        return std::nullopt;
    const auto y = digits(date, 0, 4), mo = digits(date, 5, 2), d = digits(date, 8, 2);
    if (!y || !mo || !d || *y < 1970)
        return std::nullopt;

    if ((time.size() != 8 && time.size() != 12) || time[2] != ':' || time[5] != ':')
        return std::nullopt;
    const auto h = digits(time, 0, 2), mi = digits(time, 3, 2), s = digits(time, 6, 2);
    if (!h || !mi || !s || *h > 23 || *mi > 59 || *s > 59)
        return std::nullopt;
    std::optional<int> milliseconds = 0;
    if (time.size() == 12) {
        if (time[8] != '.')
            return std::nullopt;
        milliseconds = digits(time, 9, 3);
        if (!milliseconds)
            return std::nullopt;
    }

    int sign = 1;
    if (!bias.empty() && (bias[0] == '-' || bias[0] == '+')) {
        sign = bias[0] == '-' ? -1 : 1;
        bias.remove_prefix(1);
    }
    if (bias.empty() || bias.size() > 4)
        return std::nullopt;
    const auto magnitude = digits(bias, 0, bias.size());
    if (!magnitude || *magnitude > MaxBias)
        return std::nullopt;

    // The same conversion as the program's clock seam, so both read a request alike.
    const WallClock::LocalTime local { *y, *mo, *d, *h * 3600 + *mi * 60 + *s };
    if (!WallClock::isValid(local))
        return std::nullopt;
    const std::int64_t utc = WallClock::toUtcSeconds(local, sign * *magnitude);
    if (utc < 0 || utc > std::numeric_limits<std::time_t>::max())
        return std::nullopt;
    return ClockInstant { utc, *milliseconds * NanosecondsPerMillisecond };
}

long long secondsAhead(ClockInstant wanted, ClockInstant now)
{
    const long long serverSecond = wanted.nanoseconds >= HalfSecond ? wanted.seconds : wanted.seconds - 1;
    return serverSecond - now.seconds;
}

bool isCorrection(ClockInstant wanted, ClockInstant now)
{
    const long long ahead = secondsAhead(wanted, now);
    // The program's reading may lie one second before ours: one more second behind.
    return ahead <= LargestError && ahead >= -(LargestError + 1);
}
