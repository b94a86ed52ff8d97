#include "platform/ClockAccess.h"

#include <QtGlobal>

// Windows grants the privilege to set the clock by account; there is no helper.
QString installedClockHelper()
{
    return QString();
}

ClockAccess readClockAccess(const QString & /*helper*/)
{
    ClockAccess access;
    access.privileged = true; // a refusal shows as the error state when it happens
    access.account = qEnvironmentVariable("USERNAME");
    return access;
}
