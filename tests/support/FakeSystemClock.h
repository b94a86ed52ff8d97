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

    Date current;
    int failWith = 0;  // the errno that setting returns, 0 for success
    QStringList calls; // "set YYYY-MM-DD HH:MM:SS" in call order
    QList<Date> settings; // every instant the clock was told to take, refused ones too
    QList<int> fractions; // the milliseconds past each of those seconds
    QList<qint32> biases; // the bias passed with each call, minutes
};
