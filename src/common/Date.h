#pragma once

#include <QDate>
#include <QTime>
#include <QtGlobal>

#include <optional>

// The program's one date-and-time type: days since 1899-12-30 00:00 local time, the
// fraction being the time of day. 0 stands for "never". It is stored raw in the data file.
//
// Before the epoch the whole part counts days back while the fraction still runs
// forward through the day: -1.25 is 1899-12-29 06:00, not 1899-12-28 18:00. All
// conversions here keep to that rule and work to the whole second.
using Date = double;

namespace DateTime {

constexpr Date Never = 0.0;
constexpr qint64 SecondsPerDay = 86400; // seconds

// 0001-01-01 00:00:00 .. 9999-12-31 23:59:59 are the times a Date may name, after
// rounding to the second: 0001-01-01 is every value from -693593 down to (but not
// including) -693594, and 23:59:59.4 on the last day still counts.
constexpr Date MinDate = -693593.0;            // days: 0001-01-01 00:00:00
constexpr Date MaxDate = 2958465.99998842592;  // days: 9999-12-31 23:59:59

QDate epochDay();

// Seconds on a continuous local-time scale, 0 at 1899-12-30 00:00:00, negative before.
// Empty for a NaN, an infinity or a Date outside MinDate..MaxDate.
std::optional<qint64> toSerialSeconds(Date d);
Date fromSerialSeconds(qint64 seconds);

// Calendar form. Milliseconds of the time are dropped.
Date fromParts(const QDate &day, const QTime &time);
QDate dayOf(Date d);   // invalid QDate when d names no day
QTime timeOf(Date d);  // invalid QTime when d names no day

} // namespace DateTime
