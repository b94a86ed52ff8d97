#include "platform/SystemClock.h"

#include "platform/ClockAccess.h"
#include "platform/WallClock.h"

#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <limits>
#include <ctime>

namespace {

// The clock helper's exit status: 0 set, 1..63 the system's error number, 64 a request
// that was not well formed, 65 an error number above 63, 66 an instant 30 minutes or more
// from the helper's reading of the clock.
constexpr int HelperMalformed = 64;
constexpr int HelperTooFar = 66;
constexpr qint64 MillisecondsPerSecond = 1000;
constexpr long NanosecondsPerMillisecond = 1000000;

class LinuxSystemClock final : public SystemClock
{
public:
    LinuxSystemClock(const QString &clockHelper, int timeLimit) : mHelper(clockHelper), mTimeLimit(timeLimit) { }

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

    qint64 utcSeconds() const override
    {
        timespec current {};
        clock_gettime(CLOCK_REALTIME, &current);
        return current.tv_sec;
    }

    int setLocalDateTime(Date target, qint32 bias, qint64 afterTarget) override
    {
        const QDate day = DateTime::dayOf(target);
        const QTime time = DateTime::timeOf(target);
        if (!day.isValid() || !time.isValid() || afterTarget < 0)
            return EINVAL;
        const WallClock::LocalTime local { day.year(), day.month(), day.day(),
                                           time.hour() * 3600 + time.minute() * 60 + time.second() };
        const std::int64_t seconds = WallClock::toUtcSeconds(local, bias) + afterTarget / MillisecondsPerSecond;
        if (seconds < 0 || seconds > std::numeric_limits<time_t>::max())
            return EINVAL;
        return set({ time_t(seconds), long(afterTarget % MillisecondsPerSecond) * NanosecondsPerMillisecond }, bias);
    }

private:
    QString mHelper;
    int mTimeLimit; // milliseconds

    // Directly when this process holds CAP_SYS_TIME (root, or the system service);
    // otherwise through the installed helper. A refusal comes back as its errno.
    int set(const timespec &wanted, qint32 bias) const
    {
        if (clock_settime(CLOCK_REALTIME, &wanted) == 0)
            return 0;
        const int error = errno;
        if (error != EPERM || mHelper.isEmpty() || !QFileInfo(mHelper).isFile())
            return error;
        return runHelper(wanted, bias);
    }

    // brindlecot-clock YYYY-MM-DD HH:MM:SS.mmm BIAS: the whole local date and time of the
    // wanted instant, read with the bias the caller computed it with, in one run; no shell
    // and no environment.
    int runHelper(const timespec &wanted, qint32 bias) const
    {
        const WallClock::LocalTime local = WallClock::fromUtcSeconds(wanted.tv_sec, bias);
        const int second = local.secondOfDay;
        QProcess helper;
        helper.setProgram(mHelper);
        helper.setArguments({ QString::asprintf("%04d-%02d-%02d", local.year, local.month, local.day),
                              QString::asprintf("%02d:%02d:%02d.%03ld", second / 3600, second / 60 % 60, second % 60,
                                                wanted.tv_nsec / NanosecondsPerMillisecond),
                              QString::number(bias) });
        helper.setProcessEnvironment(QProcessEnvironment());
        helper.setStandardInputFile(QProcess::nullDevice());
        helper.setStandardOutputFile(QProcess::nullDevice());
        helper.setStandardErrorFile(QProcess::nullDevice());
        helper.start();
        // An account outside the helper's group may not run it (EACCES): that is the
        // same refusal as without a helper.
        if (!helper.waitForStarted(mTimeLimit))
            return EPERM;
        if (!helper.waitForFinished(mTimeLimit)) {
            helper.kill();
            helper.waitForFinished(mTimeLimit);
            return ETIMEDOUT;
        }
        if (helper.exitStatus() != QProcess::NormalExit)
            return EIO;
        const int status = helper.exitCode();
        if (status >= 0 && status < HelperMalformed)
            return status; // 0, or the system's error number
        if (status == HelperMalformed)
            return EINVAL;
        // Only when the clock moved, or seconds passed, between this process's reading
        // and the helper's: the next attempt then finds the error too large itself.
        if (status == HelperTooFar)
            return ERANGE;
        // 65 carries no number (nor does any other status): an I/O error is the nearest
        // the message can say.
        return EIO;
    }
};

} // namespace

std::unique_ptr<SystemClock> createSystemClock()
{
    return createSystemClock(installedClockHelper());
}

std::unique_ptr<SystemClock> createSystemClock(const QString &clockHelper, int timeLimit)
{
    return std::make_unique<LinuxSystemClock>(clockHelper, timeLimit);
}
