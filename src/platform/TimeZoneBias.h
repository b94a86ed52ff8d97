#pragma once

#include <QtGlobal>

#include <memory>

// The active offset of the system time zone, daylight saving included, read anew at
// every call: UTC = local time + bias.
class TimeZoneBias
{
public:
    virtual ~TimeZoneBias() = default;

    // True with bias set (minutes); false with bias unchanged when it cannot be read.
    virtual bool read(qint32 &bias) const = 0;
};

std::unique_ptr<TimeZoneBias> createTimeZoneBias();
