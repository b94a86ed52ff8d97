#include "common/IntervalChoice.h"

qint32 IntervalChoice::GetSynchInterval() const
{
    qint32 seconds = 60;
    if (Minute)
        seconds = 60;
    if (Hour)
        seconds = 3600;
    if (Day)
        seconds = 86400;
    return seconds;
}

qint32 IntervalChoice::code() const
{
    qint32 result = 1;
    if (Minute)
        result = 1;
    if (Hour)
        result = 2;
    if (Day)
        result = 3;
    return result;
}

void IntervalChoice::applyCode(qint32 code)
{
    if (code < 1 || code > 3)
        return;
    Minute = code == 1;
    Hour = code == 2;
    Day = code == 3;
}
