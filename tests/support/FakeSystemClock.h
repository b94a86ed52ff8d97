#pragma once

#include "platform/SystemClock.h"

#include <QList>
#include <QStringList>

// A clock that tests move by hand. Setting it records the call and moves the fake time,
// never the machine's.
class FakeSystemClock final : public SystemClock
{
public:
    // Where a fake clock starts unless told: 2004-01-06 13:41:17 local.
    static inline const Date Start = DateTime::fromParts(QDate(2004, 1, 6), QTime(13, 41, 17));

    explicit FakeSystemClock(Date start = Start)
        : current(start)
    {
    }

    Date now() const override { return current; }
    // The fake's local time read back to universal time with zoneBias.
    qint64 utcSeconds() const override
    {
        return *DateTime::toSerialSeconds(current) + qint64(zoneBias) * 60 - UnixEpochOnDateScale;
    }

    // One setting of the whole instant. The fake keeps whole seconds: what lies after the
    // target's second is recorded, and moves the fake only by whole seconds.
    int setLocalDateTime(Date target, qint32 bias, qint64 afterTarget) override
    {
        calls << QStringLiteral("set %1T%2").arg(DateTime::dayOf(target).toString(Qt::ISODate),
                                                 DateTime::timeOf(target).toString(Qt::ISODate));
        biases << bias;
        targets << target;
        afterTargets << afterTarget;
        if (failWith != 0)
            return failWith;
        current = DateTime::fromSerialSeconds(*DateTime::toSerialSeconds(target) + afterTarget / 1000);
        return 0;
    }

    // Milliseconds from `second` to the instant the first setting asked for.
    qint64 firstSettingPast(Date second) const
    {
        return (*DateTime::toSerialSeconds(targets.first()) - *DateTime::toSerialSeconds(second)) * 1000
               + afterTargets.first();
    }

    void advance(qint64 seconds) { current = DateTime::fromSerialSeconds(*DateTime::toSerialSeconds(current) + seconds); }

    // 1970-01-01 00:00:00 on the Date scale, which counts from 1899-12-30.
    static constexpr qint64 UnixEpochOnDateScale = 25569 * DateTime::SecondsPerDay; // seconds

    Date current;
    qint32 zoneBias = 0; // minutes, UTC = local + zoneBias: the zone the fake's local time is in
    int failWith = 0;  // the errno that setting returns, 0 for success: a refused setting changes nothing
    QStringList calls; // "set YYYY-MM-DDTHH:MM:SS", the target's second, in call order
    QList<qint32> biases; // the bias passed with each call, minutes
    QList<Date> targets; // the local second of each call
    QList<qint64> afterTargets; // the milliseconds after the target's second, each call
};
