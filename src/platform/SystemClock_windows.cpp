#include "platform/SystemClock.h"

#include "platform/WallClock.h"

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

    // SetSystemTime needs the SE_SYSTEMTIME_NAME privilege; a refusal comes back as the
    // system's error code. It takes universal time, so the instant is worked out with the
    // caller's bias and set in one call.
    int setLocalDateTime(Date target, qint32 bias, qint64 afterTarget) override
    {
        const QDate day = DateTime::dayOf(target);
        const QTime time = DateTime::timeOf(target);
        if (!day.isValid() || !time.isValid() || afterTarget < 0)
            return ERROR_INVALID_PARAMETER;
        const WallClock::LocalTime local { day.year(), day.month(), day.day(),
                                           time.hour() * 3600 + time.minute() * 60 + time.second() };
        const std::int64_t seconds = WallClock::toUtcSeconds(local, bias) + afterTarget / 1000;
        const WallClock::LocalTime utc = WallClock::fromUtcSeconds(seconds, 0);
        SYSTEMTIME wanted {};
        wanted.wYear = WORD(utc.year);
        wanted.wMonth = WORD(utc.month);
        wanted.wDay = WORD(utc.day);
        wanted.wHour = WORD(utc.secondOfDay / 3600);
        wanted.wMinute = WORD(utc.secondOfDay / 60 % 60);
        wanted.wSecond = WORD(utc.secondOfDay % 60);
        wanted.wMilliseconds = WORD(afterTarget % 1000);
        return SetSystemTime(&wanted) ? 0 : int(GetLastError());
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
