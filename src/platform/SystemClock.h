#pragma once

#include "common/Date.h"

#include <QString>

#include <memory>

// The only way the program reads or sets the computer's clock.
class SystemClock
{
public:
    virtual ~SystemClock() = default;

    // Current local date and time, to the whole second.
    virtual Date now() const = 0;
    // Current universal time: whole seconds since 1970-01-01 00:00:00 UTC. No time zone is
    // read, so it never fails.
    virtual qint64 utcSeconds() const = 0;
    // Setting the clock is two steps, the date and then the time of day, each returning 0
    // or the system's error number. bias (minutes, UTC = local + bias) is the one the
    // caller computed its local target with, read once before the first step and passed
    // to both. Each step reads the clock's current local time with that same bias and
    // turns the result back into UTC with it: the date step keeps the local time of day
    // as the caller saw it, the time step finds the date that the date step put in, and
    // together they put the clock at exactly target + bias, the server's UTC, even when
    // that wall-clock time happens twice or not at all because of daylight saving.

    // Set the local date, keeping the time of day.
    virtual int setLocalDate(const QDate &day, qint32 bias) = 0;
    // Set the local time of day, keeping the date.
    virtual int setLocalTime(const QTime &time, qint32 bias) = 0;

    // Both steps in their order: the date of target, then its time of day. 0, or the error
    // number of the first step refused; a refused date step leaves the time step untried.
    int setLocalDateTime(Date target, qint32 bias)
    {
        if (const int refused = setLocalDate(DateTime::dayOf(target), bias))
            return refused;
        return setLocalTime(DateTime::timeOf(target), bias);
    }
};

// How long the clock helper may take before it is ended and the setting counts as failed.
constexpr int ClockHelperTimeLimit = 5000; // milliseconds

// The computer's clock. Where this process may not set it itself, it is set through the
// installed clock helper, when there is one.
std::unique_ptr<SystemClock> createSystemClock();
// The same with the helper at the given path (none when empty).
std::unique_ptr<SystemClock> createSystemClock(const QString &clockHelper, int timeLimit = ClockHelperTimeLimit);
