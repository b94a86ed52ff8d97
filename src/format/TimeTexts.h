#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

// The two time-of-day forms of the Time Servers window.

// Hours, minutes and seconds in the locale's long time form, without the zone's name that
// Qt's long form carries (the window shows the offset itself).
QString FormatLongTime(const QTime &time, const QLocale &locale = QLocale::system());

// Hours and minutes on a 12-hour clock with AM or PM: "03:42 PM".
QString FormatMediumTime(const QTime &time);
