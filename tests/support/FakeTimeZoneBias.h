#pragma once

#include "platform/TimeZoneBias.h"

class FakeTimeZoneBias final : public TimeZoneBias
{
public:
    explicit FakeTimeZoneBias(qint32 minutes = 0) : bias(minutes) { }

    bool read(qint32 &out) const override
    {
        if (!readable)
            return false;
        out = bias;
        return true;
    }

    qint32 bias;  // minutes, UTC = local + bias
    bool readable = true;
};
