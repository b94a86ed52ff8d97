#include "format/Format.h"

#include <limits>

// The ISO form is numeric and unambiguous. It is used when the dates have no regional
// settings of their own (the C or POSIX locale), whose own short form spells out the
// month's name. The choice looks at the date format itself: the system's language follows
// LC_MESSAGES, while its dates follow LC_TIME.
QString FormatShortDate(const QDate &day, const QLocale &locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    if (format == QLocale::c().dateFormat(QLocale::ShortFormat))
        return day.toString(Qt::ISODate);
    return locale.toString(day, QLocale::ShortFormat);
}

namespace {

// Two digits at least, more when needed.
QString twoDigits(qint64 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString FormatRelativeDate(Date d, Date now)
{
    return FormatRelativeDate(d, now, QLocale::system());
}

QString FormatRelativeDate(Date d, Date now, const QLocale &locale)
{
    const QDate day = DateTime::dayOf(d);
    if (!day.isValid())
        return QString();
    const QDate today = DateTime::dayOf(now);
    if (!today.isValid())
        return FormatShortDate(day, locale);

    const qint64 n = today.daysTo(day); // positive: day lies in the future
    if (n == -1)
        return QStringLiteral("Yesterday");
    if (n == 0)
        return QStringLiteral("Today");
    if (n == 1)
        return QStringLiteral("Tomorrow");
    if (n >= 2 && n <= 7) {
        // Fixed English names, whatever the regional settings; QDate counts Monday as 1.
        static const char *const names[] = { "Monday", "Tuesday", "Wednesday", "Thursday",
                                             "Friday", "Saturday", "Sunday" };
        return QString::fromLatin1(names[day.dayOfWeek() - 1]);
    }
    return FormatShortDate(day, locale);
}

QString FormatDuration(qint32 seconds)
{
    if (seconds >= 60) {
        qint32 minutes = seconds / 60;
        const qint32 rest = seconds % 60; // seconds
        if (rest > 30 || (rest == 30 && minutes % 2 == 1))
            ++minutes;
        return QString::number(minutes) + (minutes <= 1 ? QStringLiteral(" minute") : QStringLiteral(" minutes"));
    }
    return QString::number(seconds) + (seconds <= 1 ? QStringLiteral(" second") : QStringLiteral(" seconds"));
}

QString FormatOffset(qint32 minutes)
{
    if (minutes == std::numeric_limits<qint32>::min())
        return QString();
    const QChar sign = minutes < 0 ? QLatin1Char('-') : QLatin1Char('+');
    const qint32 v = minutes < 0 ? -minutes : minutes;
    return sign + twoDigits(v / 60) + QLatin1Char(':') + twoDigits(v % 60);
}
