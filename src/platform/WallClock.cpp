#include "platform/WallClock.h"

namespace WallClock {

namespace {

constexpr std::int64_t SecondsPerMinute = 60; // seconds

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Days since 1970-01-01 of a civil date (Howard Hinnant's days_from_civil).
std::int64_t daysFromCivil(std::int64_t y, int m, int d)
{
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = floorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;                                  // 0..399
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1; // 0..365
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;          // 0..146096
    return era * 146097 + doe - 719468;
}

void civilFromDays(std::int64_t z, int &year, int &month, int &day)
{
    z += 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

bool isLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

} // namespace

bool isValid(const LocalTime &local)
{
    static constexpr int Days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    if (local.month < 1 || local.month > 12 || local.day < 1)
        return false;
    const int days = Days[local.month - 1] + (local.month == 2 && isLeap(local.year) ? 1 : 0);
    return local.day <= days && local.secondOfDay >= 0 && local.secondOfDay < SecondsPerDay;
}

std::int64_t toUtcSeconds(const LocalTime &local, std::int32_t bias)
{
    const std::int64_t localSeconds = daysFromCivil(local.year, local.month, local.day) * SecondsPerDay
                                      + local.secondOfDay;
    return localSeconds + std::int64_t(bias) * SecondsPerMinute;
}

LocalTime fromUtcSeconds(std::int64_t utc, std::int32_t bias)
{
    const std::int64_t localSeconds = utc - std::int64_t(bias) * SecondsPerMinute;
    const std::int64_t days = floorDiv(localSeconds, SecondsPerDay);
    LocalTime local;
    civilFromDays(days, local.year, local.month, local.day);
    local.secondOfDay = int(localSeconds - days * SecondsPerDay);
    return local;
}

std::int64_t withLocalDate(std::int64_t utcNow, int year, int month, int day, std::int32_t bias)
{
    LocalTime local = fromUtcSeconds(utcNow, bias);
    local.year = year;
    local.month = month;
    local.day = day;
    return toUtcSeconds(local, bias);
}

std::int64_t withLocalTimeOfDay(std::int64_t utcNow, int secondOfDay, std::int32_t bias)
{
    LocalTime local = fromUtcSeconds(utcNow, bias);
    local.secondOfDay = secondOfDay;
    return toUtcSeconds(local, bias);
}

} // namespace WallClock
