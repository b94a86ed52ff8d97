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
    // Sets the clock in one setting, date and time together, to the local date and time
    // target (whole seconds) plus afterTarget milliseconds (0 or more). bias (minutes, UTC =
    // local + bias) is the one the caller computed target with: the instant set is
    // target + bias + afterTarget, the server's UTC, even when that wall-clock time happens
    // twice or not at all because of daylight saving. 0, or the system's error number; a
    // refused setting leaves the clock as it was.
    virtual int setLocalDateTime(Date target, qint32 bias, qint64 afterTarget = 0) = 0;
};

// How long the clock helper may take before it is ended and the setting counts as failed.
constexpr int ClockHelperTimeLimit = 5000; // milliseconds

// The computer's clock. Where this process may not set it itself, it is set through the
// installed clock helper, when there is one.
std::unique_ptr<SystemClock> createSystemClock();
// The same with the helper at the given path (none when empty).
std::unique_ptr<SystemClock> createSystemClock(const QString &clockHelper, int timeLimit = ClockHelperTimeLimit);
