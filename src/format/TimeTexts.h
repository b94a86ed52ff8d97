#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

// The two named time-of-day forms, "Long Time" and "Medium Time".

// Hours, minutes and seconds in the locale's long time form, without the zone's name that
// Qt's long form carries (the window shows the offset itself).
QString FormatLongTime(const QTime &time, const QLocale &locale = QLocale::system());

// Hours and minutes on a 12-hour clock with AM or PM, in every locale: "03:42 PM"; the
// AM/PM words are the locale's where it has them.
QString FormatMediumTime(const QTime &time, const QLocale &locale = QLocale());
