#pragma once

#include "platform/SystemClock.h"

#include <QList>
#include <QStringList>

// A clock that tests move by hand. Setting it records the call and moves the fake time,
// never the machine's.
class FakeSystemClock final : public SystemClock
{
public:
    explicit FakeSystemClock(Date start = DateTime::fromParts(QDate(2004, 1, 6), QTime(13, 41, 17)))
        : current(start)
    {
    }

    Date now() const override { return current; }
    // The fake's local time read back to universal time with zoneBias.
    qint64 utcSeconds() const override
    {
        return *DateTime::toSerialSeconds(current) + qint64(zoneBias) * 60 - UnixEpochOnDateScale;
    }

    int setLocalDate(const QDate &day, qint32 bias) override
    {
        calls << QStringLiteral("date %1").arg(day.toString(Qt::ISODate));
        biases << bias;
        if (failWith == 0)
            current = DateTime::fromParts(day, DateTime::timeOf(current));
        return failWith;
    }

    int setLocalTime(const QTime &time, qint32 bias) override
    {
        calls << QStringLiteral("time %1").arg(time.toString(Qt::ISODate));
        biases << bias;
        if (timeFailWith != 0)
            return timeFailWith;
        if (failWith == 0)
            current = DateTime::fromParts(DateTime::dayOf(current), time);
        return failWith;
    }

    void advance(qint64 seconds) { current = DateTime::fromSerialSeconds(*DateTime::toSerialSeconds(current) + seconds); }

    // 1970-01-01 00:00:00 on the Date scale, which counts from 1899-12-30.
    static constexpr qint64 UnixEpochOnDateScale = 25569 * DateTime::SecondsPerDay; // seconds

    Date current;
    qint32 zoneBias = 0; // minutes, UTC = local + zoneBias: the zone the fake's local time is in
    int failWith = 0;  // the errno that setting returns, 0 for success
    int timeFailWith = 0; // the errno of the time step alone, after a date step that works
    QStringList calls; // "date YYYY-MM-DD", "time HH:MM:SS" in call order
    QList<qint32> biases; // the bias passed with each call, minutes
};
