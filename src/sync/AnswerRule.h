#pragma once

#include "common/Date.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QtGlobal>

class SystemClock;
class TimeZoneBias;

// The one rule that both clients, automatic and by hand, apply to a server's answer:
// decode the value, measure the clock's error against it, decide, and set the clock. Each
// client only maps the outcome to what it shows and records.
namespace AnswerRule {

constexpr qint32 RefusedError = 1800;      // seconds: a server this far off is never believed
constexpr qint32 SmallestCorrection = 2;   // seconds: an error of 0 or 1 leaves the clock alone

// The value counts whole seconds, cut down, so when it was read the server's time lay
// anywhere in the second after it: half a second on average. A server reads its clock when
// it takes the connection, which is about half a round trip before its answer reaches us,
// and the time from our side's connected event to the answer's arrival is one round trip.
// The clock is set to the value plus half a second plus half that round trip, so that its
// expected error is centred on zero instead of half a second slow. The host-name lookup and
// the handshake come before the connected event and count for nothing: a slow name server
// must not put the clock ahead.
constexpr qint64 HalfSecond = 500; // milliseconds
// A longer round trip than this says that the answer was held somewhere (a busy server, a
// stalled path), and no longer where in that time the server read its clock: too stale to
// centre, the setting then adds only the half second.
constexpr qint64 LongestCentredRoundTrip = 1000; // milliseconds

// The round trip of one attempt, on a monotonic clock: from the connected event of its
// connection to the arrival of the answer. Each client holds one for its connection.
class RoundTrip
{
public:
    // A new attempt begins: nothing is connected yet. Call it before Connect(), which may
    // report the connection from within.
    void begin() { mConnected.invalidate(); }
    // The connection's connected event.
    void connected() { mConnected.start(); }
    // Milliseconds from the connected event until now; Unknown before it.
    qint64 sinceConnected() const { return mConnected.isValid() ? mConnected.elapsed() : Unknown; }

    static constexpr qint64 Unknown = -1;

private:
    QElapsedTimer mConnected;
};

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

// roundTrip: milliseconds from the connected event to the arrival of block (RoundTrip),
// negative when unknown: the setting then adds only the half second, as for one too long.
Outcome apply(const QByteArray &block, qint64 roundTrip, SystemClock &clock, const TimeZoneBias &zone);

} // namespace AnswerRule
