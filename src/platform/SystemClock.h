#pragma once

#include "common/Date.h"

#include <memory>

// The only way the program reads or sets the computer's clock.
class SystemClock
{
public:
    virtual ~SystemClock() = default;

    // Current local date and time, to the whole second.
    virtual Date now() const = 0;
    // Set the local date, keeping the time of day; 0 or the system's error number.
    virtual int setLocalDate(const QDate &day) = 0;
    // Set the local time of day, keeping the date; 0 or the system's error number.
    virtual int setLocalTime(const QTime &time) = 0;
};

std::unique_ptr<SystemClock> createSystemClock();
