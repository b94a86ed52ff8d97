#pragma once

#include "common/Date.h"

#include <QByteArray>
#include <QtGlobal>

class SystemClock;
class TimeZoneBias;

// What one answer of a time server came to, for each client to show and record in its
// own way.
struct AnswerOutcome {
    enum Kind {
        TooFewBytes,   // the block held fewer than four bytes
        NoTimeZone,    // the bias could not be read
        NotComputable, // the error does not fit a signed 32-bit count of seconds
        TooFar,        // off by RefusedError or more: never believed
        ClockRefused,  // the clock was to be set and the system refused
        Synchronized,  // believed; the clock set when it was off by SmallestCorrection or more
    };

    Kind kind = TooFewBytes;
    qint32 error = -1;  // seconds between the server's time and the clock before setting; -1 unknown
    int refusal = 0;    // the system's error number, for ClockRefused
    bool clockSet = false;
};

// The one rule by which both clients treat an answer: decode the four bytes, read the
// bias, measure the error against the clock, decide, and set the clock.
//
// The value counts whole seconds, cut down, so the server's true time when the answer
// arrives is on average half a second later, plus the one-way delay. The clock is
// therefore set to the value + 0.5 s + half of roundTrip, the time from the start of the
// connection to the arrival of the answer on a monotonic clock; the error that decides
// and that is recorded stays the whole-second one.
namespace AnswerRule {

constexpr qint32 SmallestCorrection = 2; // seconds: 0 or 1 leave the clock alone
constexpr qint32 RefusedError = 1800;    // seconds: never believed from here on
constexpr qint64 HalfSecond = 500;       // milliseconds: the mean of the cut-off fraction

// roundTrip: milliseconds, never negative.
AnswerOutcome apply(const QByteArray &block, qint64 roundTrip, const TimeZoneBias &zone, SystemClock &clock);

} // namespace AnswerRule
