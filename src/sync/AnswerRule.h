#pragma once

#include "common/Date.h"

#include <QByteArray>
#include <QtGlobal>

class SystemClock;
class TimeZoneBias;

// The one rule that both clients, automatic and by hand, apply to a server's answer:
// decode the value, measure the clock's error against it, decide, and set the clock. Each
// client only maps the outcome to what it shows and records.
namespace AnswerRule {

constexpr qint32 RefusedError = 1800;      // seconds: a server this far off is never believed
constexpr qint32 SmallestCorrection = 2;   // seconds: an error of 0 or 1 leaves the clock alone

// The value counts whole seconds, cut down, so when it was sent the server's time lay
// anywhere in the second after it: half a second on average. It then took about half the
// connection's round trip to arrive. The clock is set to the value plus both, so that its
// expected error is centred on zero instead of half a second slow.
constexpr qint64 HalfSecond = 500; // milliseconds

enum class Verdict {
    TooFewBytes,   // fewer than four bytes came
    NoTimeZone,    // the time-zone bias could not be read
    NotComputable, // the error cannot be computed (beyond about 68 years)
    TooFarOff,     // the error is RefusedError or more: never believed
    ClockRefused,  // the clock had to be set, and the system refused
    Synchronized,  // the clock is right now: set, or already within a second
};

struct Outcome {
    Verdict verdict = Verdict::TooFewBytes;
    qint32 error = -1;              // seconds: the clock's error found, once computed
    int refusal = 0;                // the system's error number, for ClockRefused
    Date now = DateTime::Never;     // for Synchronized: the local time after the setting
};

// roundTrip: milliseconds from the start of the connection to the arrival of block, on a
// monotonic clock.
Outcome apply(const QByteArray &block, qint64 roundTrip, SystemClock &clock, const TimeZoneBias &zone);

} // namespace AnswerRule
