#include "sync/AnswerRule.h"

#include "platform/SystemClock.h"
#include "sync/TimeProtocol.h"

namespace AnswerRule {

AnswerOutcome apply(const QByteArray &block, qint64 roundTrip, const TimeZoneBias &zone, SystemClock &clock)
{
    AnswerOutcome outcome;
    const auto value = TimeProtocol::decode(block);
    if (!value) {
        outcome.kind = AnswerOutcome::TooFewBytes;
        return outcome;
    }
    qint32 bias = 0;
    if (!GetTimeZoneBias(zone, bias)) {
        outcome.kind = AnswerOutcome::NoTimeZone;
        return outcome;
    }
    const Date serverTime = TimeValueToLocal(*value, bias);
    outcome.error = SecondsSince(serverTime, clock.now());
    if (outcome.error == -1) {
        outcome.kind = AnswerOutcome::NotComputable;
        return outcome;
    }
    if (outcome.error >= RefusedError) {
        outcome.kind = AnswerOutcome::TooFar;
        return outcome;
    }
    if (outcome.error >= SmallestCorrection) {
        // One setting, with the bias that serverTime was computed with, so the clock ends at
        // the server's UTC even across a change of daylight saving.
        const qint64 ahead = HalfSecond + qMax<qint64>(roundTrip, 0) / 2; // milliseconds
        const Date second = DateTime::fromSerialSeconds(*DateTime::toSerialSeconds(serverTime) + ahead / 1000);
        outcome.refusal = clock.setLocalDateTime(second, int(ahead % 1000), bias);
        if (outcome.refusal != 0) {
            outcome.kind = AnswerOutcome::ClockRefused;
            return outcome;
        }
        outcome.clockSet = true;
    }
    outcome.kind = AnswerOutcome::Synchronized;
    return outcome;
}

} // namespace AnswerRule
