#include "platform/SystemClock.h"

#include "platform/WallClock.h"

#include <cerrno>
#include <ctime>

namespace {

class LinuxSystemClock final : public SystemClock
{
public:
    Date now() const override
    {
        timespec current {};
        clock_gettime(CLOCK_REALTIME, &current);
        tzset(); // a change of zone shows at once
        std::tm local {};
        if (localtime_r(&current.tv_sec, &local) == nullptr)
            return DateTime::Never;
        const int second = local.tm_sec > 59 ? 59 : local.tm_sec; // a leap second
        return DateTime::fromParts(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                                   QTime(local.tm_hour, local.tm_min, second));
    }

    int setLocalDate(const QDate &day, qint32 bias) override
    {
        if (!day.isValid())
            return EINVAL;
        timespec current {};
        if (clock_gettime(CLOCK_REALTIME, &current) != 0)
            return errno;
        // The fraction of the second stays: only the date changes.
        return set({ WallClock::withLocalDate(current.tv_sec, day.year(), day.month(), day.day(), bias),
                     current.tv_nsec });
    }

    int setLocalTime(const QTime &time, qint32 bias) override
    {
        if (!time.isValid())
            return EINVAL;
        timespec current {};
        if (clock_gettime(CLOCK_REALTIME, &current) != 0)
            return errno;
        const int secondOfDay = time.hour() * 3600 + time.minute() * 60 + time.second();
        return set({ WallClock::withLocalTimeOfDay(current.tv_sec, secondOfDay, bias), 0 });
    }

private:
    // Needs CAP_SYS_TIME; a refusal comes back as its errno.
    static int set(const timespec &wanted)
    {
        if (clock_settime(CLOCK_REALTIME, &wanted) != 0)
            return errno;
        return 0;
    }
};

} // namespace

std::unique_ptr<SystemClock> createSystemClock()
{
    return std::make_unique<LinuxSystemClock>();
}
