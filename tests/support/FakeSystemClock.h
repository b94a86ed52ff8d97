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

    int setLocalDateTime(Date target, int milliseconds, qint32 bias) override
    {
        calls << QStringLiteral("set %1 %2").arg(DateTime::dayOf(target).toString(Qt::ISODate),
                                                 DateTime::timeOf(target).toString(Qt::ISODate));
        biases << bias;
        settings << target;
        fractions << milliseconds;
        if (failWith == 0)
            current = target;
        return failWith;
    }

    void advance(qint64 seconds) { current = DateTime::fromSerialSeconds(*DateTime::toSerialSeconds(current) + seconds); }

    // 1970-01-01 00:00:00 on the Date scale, which counts from 1899-12-30.
    static constexpr qint64 UnixEpochOnDateScale = 25569 * DateTime::SecondsPerDay; // seconds

    Date current;
    qint32 zoneBias = 0; // minutes, UTC = local + zoneBias: the zone the fake's local time is in
    int failWith = 0;  // the errno that setting returns, 0 for success
    QStringList calls; // "set YYYY-MM-DD HH:MM:SS" in call order
    QList<Date> settings; // every instant the clock was told to take, refused ones too
    QList<int> fractions; // the milliseconds past each of those seconds
    QList<qint32> biases; // the bias passed with each call, minutes
};
