#include "sync/AnswerRule.h"

#include "platform/SystemClock.h"
#include "sync/TimeProtocol.h"

namespace AnswerRule {

Outcome apply(const QByteArray &block, qint64 roundTrip, SystemClock &clock, const TimeZoneBias &zone)
{
    Outcome outcome;
    const auto value = TimeProtocol::decode(block);
    if (!value)
        return outcome;
    qint32 bias = 0;
    if (!GetTimeZoneBias(zone, bias)) {
        outcome.verdict = Verdict::NoTimeZone;
        return outcome;
    }
    const Date serverTime = TimeValueToLocal(*value, bias);
    outcome.error = SecondsSince(serverTime, clock.now());
    if (outcome.error == -1) {
        outcome.verdict = Verdict::NotComputable;
        return outcome;
    }
    if (outcome.error >= RefusedError) {
        outcome.verdict = Verdict::TooFarOff;
        return outcome;
    }
    if (outcome.error >= SmallestCorrection) {
        // The bias that serverTime was computed with goes along, so the clock ends at the
        // server's UTC even across a change of daylight saving.
        const qint64 centring = roundTrip >= 0 && roundTrip <= LongestCentredRoundTrip ? roundTrip / 2 : 0;
        const qint64 afterValue = HalfSecond + centring; // milliseconds
        if (const int refused = clock.setLocalDateTime(serverTime, bias, afterValue)) {
            outcome.verdict = Verdict::ClockRefused;
            outcome.refusal = refused;
            return outcome;
        }
    }
    outcome.verdict = Verdict::Synchronized;
    outcome.now = clock.now(); // after the clock was set
    return outcome;
}

} // namespace AnswerRule
