#include "common/Date.h"

#include <cmath>

namespace DateTime {

namespace {

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
    if (!std::isfinite(d) || d < MinDate || d > MaxDate)
        return std::nullopt;
    double whole = std::trunc(d);
    qint64 days = static_cast<qint64>(whole);
    qint64 seconds = std::llround(std::fabs(d - whole) * SecondsPerDay);
    if (seconds == SecondsPerDay) { // 23:59:59.5 and later round into the next day
        seconds = 0;
        ++days;
    }
    return days * SecondsPerDay + seconds;
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
