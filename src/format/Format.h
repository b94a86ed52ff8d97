#pragma once

#include "common/Date.h"

#include <QLocale>
#include <QString>

// The short texts of the Time Servers window: when a server was last synchronized, how far
// the clock was off, and the time-zone offset. Pure functions: no state, no errors raised.
// Their words are English and fixed; only the short date follows the regional settings.

// The named format "Short Date": the locale's short date, or the ISO form yyyy-MM-dd where
// the locale's dates have no regional form of their own (C, POSIX).
QString FormatShortDate(const QDate &day, const QLocale &locale);

// The day part of a last-synchronization entry, relative to `now`: "Yesterday", "Today",
// "Tomorrow", the English weekday name for 2 to 7 days ahead, otherwise the short date.
// Only the calendar days count, never the time of day. Empty when d names no day.
QString FormatRelativeDate(Date d, Date now);
// The same with the short date in the given locale's form instead of the system's.
QString FormatRelativeDate(Date d, Date now, const QLocale &locale);

// A clock error: whole minutes (rounded, ties to even) from 60 seconds up, else seconds.
// "1 minute", "3 minutes", "59 seconds", "1 second", "0 second".
QString FormatDuration(qint32 seconds);

// A signed hours:minutes text of a count of minutes: 300 gives "+05:00", -330 "-05:30",
// 6000 "+100:00". Empty for the one value that cannot be negated, -2147483648.
QString FormatOffset(qint32 minutes);
