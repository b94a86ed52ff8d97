#include "common/Date.h"

#include <cmath>

namespace DateTime {

namespace {

// 0001-01-01 00:00:00 and 9999-12-31 23:59:59 on the serial scale.
constexpr qint64 FirstSecond = qint64(MinDate) * SecondsPerDay;
constexpr qint64 LastSecond = qint64(MaxDate) * SecondsPerDay + SecondsPerDay - 1;

qint64 floorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

} // namespace

QDate epochDay()
{
    return QDate(1899, 12, 30);
}

std::optional<qint64> toSerialSeconds(Date d)
{
    // Before the epoch the whole part names the day, so all of (MinDate - 1, MinDate] is
    // still 0001-01-01; the exact ends are checked on the second the value rounds to.
    if (!std::isfinite(d) || d <= MinDate - 1 || d >= MaxDate + 1)
        return std::nullopt;
    double whole = std::trunc(d);
    qint64 days = static_cast<qint64>(whole);
    qint64 seconds = std::llround(std::fabs(d - whole) * SecondsPerDay);
    if (seconds == SecondsPerDay) { // 23:59:59.5 and later round into the next day
        seconds = 0;
        ++days;
    }
    const qint64 serial = days * SecondsPerDay + seconds;
    if (serial < FirstSecond || serial > LastSecond)
        return std::nullopt;
    return serial;
}

Date fromSerialSeconds(qint64 seconds)
{
    const qint64 days = floorDiv(seconds, SecondsPerDay);
    const double fraction = double(seconds - days * SecondsPerDay) / SecondsPerDay;
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

Date fromParts(const QDate &day, const QTime &time)
{
    const qint64 days = epochDay().daysTo(day);
    const qint64 seconds = time.isValid() ? time.msecsSinceStartOfDay() / 1000 : 0;
    return fromSerialSeconds(days * SecondsPerDay + seconds);
}

QDate dayOf(Date d)
{
    const auto serial = toSerialSeconds(d);
    if (!serial)
        return {};
    return epochDay().addDays(floorDiv(*serial, SecondsPerDay));
}

QTime timeOf(Date d)
{
    const auto serial = toSerialSeconds(d);
    if (!serial)
        return {};
    const qint64 seconds = *serial - floorDiv(*serial, SecondsPerDay) * SecondsPerDay;
    return QTime::fromMSecsSinceStartOfDay(int(seconds * 1000));
}

} // namespace DateTime
