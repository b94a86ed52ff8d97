#include "platform/SystemClock.h"

#include "platform/WallClock.h"

#include <qt_windows.h>

namespace {

// The right to set the clock is switched on in the process's token only for the moment of
// the setting, as Windows intends for such rights, and put back as it was afterwards.
class ClockRightEnabled
{
public:
    ClockRightEnabled()
    {
        TOKEN_PRIVILEGES wanted {};
        wanted.PrivilegeCount = 1;
        wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!LookupPrivilegeValueW(nullptr, SE_SYSTEMTIME_NAME, &wanted.Privileges[0].Luid)
            || !OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &mToken)) {
            mError = GetLastError();
            mToken = nullptr;
            return;
        }
        DWORD size = sizeof mPrevious;
        // Succeeds also when the token lacks the right, and then says so in the last error.
        const BOOL adjusted = AdjustTokenPrivileges(mToken, FALSE, &wanted, sizeof mPrevious, &mPrevious, &size);
        mError = GetLastError();
        if (adjusted && mError == ERROR_SUCCESS)
            mRestore = true;
        else if (mError == ERROR_SUCCESS || mError == ERROR_NOT_ALL_ASSIGNED)
            mError = ERROR_PRIVILEGE_NOT_HELD;
    }

    ~ClockRightEnabled()
    {
        if (mRestore)
            AdjustTokenPrivileges(mToken, FALSE, &mPrevious, 0, nullptr, nullptr);
        if (mToken)
            CloseHandle(mToken);
    }

    ClockRightEnabled(const ClockRightEnabled &) = delete;
    ClockRightEnabled &operator=(const ClockRightEnabled &) = delete;

    // 0 when the right is on; else the system's error (ERROR_PRIVILEGE_NOT_HELD, 1314, for
    // an account without it).
    DWORD error() const { return mError; }

private:
    HANDLE mToken = nullptr;
    TOKEN_PRIVILEGES mPrevious {};
    bool mRestore = false;
    DWORD mError = ERROR_SUCCESS;
};

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

    // SetSystemTime needs the right to change the system time (SeSystemtimePrivilege),
    // switched on; without it the setting is refused with the system's error code, which
    // the client shows in its error state. It takes universal time, so the instant is
    // worked out with the caller's bias and set in one call.
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
        const ClockRightEnabled right;
        if (right.error() != ERROR_SUCCESS)
            return int(right.error());
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
