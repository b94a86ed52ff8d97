#include "platform/SystemClock.h"

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

    int setLocalDate(const QDate &day) override
    {
        return setFields([&](std::tm &tm) {
            tm.tm_year = day.year() - 1900;
            tm.tm_mon = day.month() - 1;
            tm.tm_mday = day.day();
        });
    }

    int setLocalTime(const QTime &time) override
    {
        return setFields([&](std::tm &tm) {
            tm.tm_hour = time.hour();
            tm.tm_min = time.minute();
            tm.tm_sec = time.second();
        });
    }

private:
    // Replaces some fields of the current local time and sets the clock to the result.
    // Needs CAP_SYS_TIME; a refusal comes back as its errno.
    template<typename Change>
    static int setFields(Change change)
    {
        timespec current {};
        if (clock_gettime(CLOCK_REALTIME, &current) != 0)
            return errno;
        tzset();
        std::tm tm {};
        if (localtime_r(&current.tv_sec, &tm) == nullptr)
            return errno ? errno : EINVAL;
        change(tm);
        tm.tm_isdst = -1;
        errno = 0;
        const time_t target = mktime(&tm);
        if (target == time_t(-1) && errno != 0)
            return errno;
        const timespec wanted { target, 0 };
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
