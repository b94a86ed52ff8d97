#include "platform/SystemClock.h"

#include <qt_windows.h>

namespace {

class WindowsSystemClock final : public SystemClock
{
public:
    Date now() const override
    {
        SYSTEMTIME local {};
        GetLocalTime(&local);
        return DateTime::fromParts(QDate(local.wYear, local.wMonth, local.wDay),
                                   QTime(local.wHour, local.wMinute, local.wSecond));
    }

    qint64 utcSeconds() const override
    {
        // FILETIME counts 100-nanosecond steps from 1601-01-01 UTC.
        constexpr qint64 StepsPerSecond = 10000000;
        constexpr qint64 SecondsFrom1601To1970 = 11644473600;
        FILETIME now {};
        GetSystemTimeAsFileTime(&now);
        const qint64 steps = (qint64(now.dwHighDateTime) << 32) | now.dwLowDateTime;
        return steps / StepsPerSecond - SecondsFrom1601To1970;
    }

    // SetLocalTime needs the SE_SYSTEMTIME_NAME privilege; a refusal comes back as the
    // system's error code. It takes local time and applies the bias in force itself. The
    // whole date and time go in one call.
    int setLocalDateTime(Date target, int milliseconds, qint32 /*bias*/) override
    {
        const QDate day = DateTime::dayOf(target);
        const QTime time = DateTime::timeOf(target);
        if (!day.isValid() || !time.isValid() || milliseconds < 0 || milliseconds > 999)
            return ERROR_INVALID_PARAMETER;
        SYSTEMTIME local {};
        local.wYear = WORD(day.year());
        local.wMonth = WORD(day.month());
        local.wDay = WORD(day.day());
        local.wHour = WORD(time.hour());
        local.wMinute = WORD(time.minute());
        local.wSecond = WORD(time.second());
        local.wMilliseconds = WORD(milliseconds);
        local.wDayOfWeek = 0; // ignored by SetLocalTime
        return SetLocalTime(&local) ? 0 : int(GetLastError());
    }
};

} // namespace

std::unique_ptr<SystemClock> createSystemClock()
{
    return std::make_unique<WindowsSystemClock>();
}

// Windows has no clock helper: the account holds the privilege or it does not.
std::unique_ptr<SystemClock> createSystemClock(const QString & /*clockHelper*/, int /*timeLimit*/)
{
    return createSystemClock();
}
