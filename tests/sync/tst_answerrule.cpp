#include "sync/AnswerRule.h"

#include "FakeSystemClock.h"
#include "FakeTimeZoneBias.h"
#include "sync/TimeProtocol.h"
#include "TestMain.h"

#include <QTest>

namespace {

constexpr qint32 RuleZoneBias = 300; // minutes: five hours west

Date at(int year, int month, int day, int hour, int minute, int second)
{
    return DateTime::fromParts(QDate(year, month, day), QTime(hour, minute, second));
}

Date plus(Date d, qint64 seconds)
{
    return DateTime::fromSerialSeconds(*DateTime::toSerialSeconds(d) + seconds);
}

// The four bytes of a server whose local time (read with RuleZoneBias) is serverTime.
QByteArray answerFor(Date serverTime)
{
    return TimeProtocol::encode(*LocalToTimeValue(serverTime, RuleZoneBias));
}

} // namespace

// The rule both clients share, without sockets: what it decides, and how it sets the clock.
class TestAnswerRule : public QObject
{
    Q_OBJECT

private slots:
    // A correction across midnight, a month's end or a year's end is one setting of the
    // final instant: the clock never passes through a moment a day (or any 1,800 s) away.
    void crossingsAreOneSetting_data()
    {
        QTest::addColumn<Date>("clock");
        QTest::addColumn<int>("serverAhead"); // seconds
        QTest::newRow("midnight, forward") << at(2026, 6, 9, 23, 59, 58) << 5;
        QTest::newRow("midnight, back") << at(2026, 6, 10, 0, 0, 2) << -5;
        QTest::newRow("month end, forward") << at(2026, 4, 30, 23, 45, 0) << 1799;
        QTest::newRow("month end, back") << at(2026, 5, 1, 0, 15, 0) << -1799;
        QTest::newRow("February of a leap year, forward") << at(2028, 2, 28, 23, 59, 59) << 2;
        QTest::newRow("year end, forward") << at(2026, 12, 31, 23, 59, 30) << 60;
        QTest::newRow("year end, back") << at(2027, 1, 1, 0, 0, 30) << -60;
    }

    void crossingsAreOneSetting()
    {
        QFETCH(Date, clock);
        QFETCH(int, serverAhead);
        FakeSystemClock fake(clock);
        const FakeTimeZoneBias zone(RuleZoneBias);
        const Date server = plus(clock, serverAhead);

        const AnswerRule::Outcome outcome = AnswerRule::apply(answerFor(server), 0, fake, zone);
        QCOMPARE(int(outcome.verdict), int(AnswerRule::Verdict::Synchronized));
        QCOMPARE(outcome.error, qAbs(serverAhead));
        QCOMPARE(fake.targets, QList<Date> { server });
        QCOMPARE(fake.biases, QList<qint32> { RuleZoneBias });
        for (const Date set : std::as_const(fake.targets))
            QVERIFY(SecondsSince(set, server) < AnswerRule::RefusedError);
        QCOMPARE(fake.now(), server);
        QCOMPARE(outcome.now, server);
    }

    // The value counts whole seconds, cut down: the clock goes half a second past it, and
    // half of the round trip more, up to a round trip of a second; an answer that took
    // longer gets only the half second.
    void halfASecondAndHalfTheRoundTrip_data()
    {
        QTest::addColumn<qint64>("roundTrip"); // milliseconds
        QTest::addColumn<qint64>("after");     // milliseconds after the value's second
        QTest::newRow("no delay") << qint64(0) << qint64(500);
        QTest::newRow("loopback") << qint64(1) << qint64(500);
        QTest::newRow("300 ms there and back") << qint64(300) << qint64(650);
        QTest::newRow("one second: still centred") << qint64(1000) << qint64(1000);
        QTest::newRow("just over a second: too stale") << qint64(1001) << qint64(500);
        QTest::newRow("three seconds: too stale") << qint64(3000) << qint64(500);
        QTest::newRow("unknown") << AnswerRule::RoundTrip::Unknown << qint64(500);
        QTest::newRow("a monotonic clock never runs back") << qint64(-40) << qint64(500);
    }

    void halfASecondAndHalfTheRoundTrip()
    {
        QFETCH(qint64, roundTrip);
        QFETCH(qint64, after);
        FakeSystemClock fake;
        const FakeTimeZoneBias zone(RuleZoneBias);
        AnswerRule::apply(answerFor(plus(fake.now(), 10)), roundTrip, fake, zone);
        QCOMPARE(fake.afterTargets, QList<qint64> { after });
    }

    // What the rule decides; only a correction of 2 to 1,799 seconds touches the clock.
    void verdicts_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<bool>("zoneReadable");
        QTest::addColumn<int>("clockRefusal");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("settings");
        const Date now = FakeSystemClock().now();
        using V = AnswerRule::Verdict;
        QTest::newRow("on time") << answerFor(now) << true << 0 << int(V::Synchronized) << 0 << 0;
        QTest::newRow("1 s: left alone") << answerFor(plus(now, 1)) << true << 0 << int(V::Synchronized) << 1 << 0;
        QTest::newRow("1 s, a clock that refuses: not asked") << answerFor(plus(now, -1)) << true << 1 << int(V::Synchronized) << 1 << 0;
        QTest::newRow("2 s: set") << answerFor(plus(now, 2)) << true << 0 << int(V::Synchronized) << 2 << 1;
        QTest::newRow("1799 s: set") << answerFor(plus(now, -1799)) << true << 0 << int(V::Synchronized) << 1799 << 1;
        QTest::newRow("1800 s: never believed") << answerFor(plus(now, 1800)) << true << 0 << int(V::TooFarOff) << 1800 << 0;
        QTest::newRow("1900: not computable") << QByteArray(4, '\0') << true << 0 << int(V::NotComputable) << -1 << 0;
        QTest::newRow("three bytes") << answerFor(now).left(3) << true << 0 << int(V::TooFewBytes) << -1 << 0;
        QTest::newRow("zone unreadable") << answerFor(plus(now, 5)) << false << 0 << int(V::NoTimeZone) << -1 << 0;
        QTest::newRow("clock refuses") << answerFor(plus(now, 5)) << true << EPERM << int(V::ClockRefused) << 5 << 1;
    }

    void verdicts()
    {
        QFETCH(QByteArray, block);
        QFETCH(bool, zoneReadable);
        QFETCH(int, clockRefusal);
        QFETCH(int, verdict);
        QFETCH(int, error);
        QFETCH(int, settings);
        FakeSystemClock fake;
        const Date before = fake.now();
        fake.failWith = clockRefusal;
        FakeTimeZoneBias zone(RuleZoneBias);
        zone.readable = zoneReadable;
        const AnswerRule::Outcome outcome = AnswerRule::apply(block, 0, fake, zone);
        QCOMPARE(int(outcome.verdict), verdict);
        QCOMPARE(outcome.error, error);
        QCOMPARE(fake.calls.size(), settings);
        if (outcome.verdict == AnswerRule::Verdict::ClockRefused) {
            QCOMPARE(outcome.refusal, clockRefusal);
            QCOMPARE(fake.now(), before); // a refused setting changes nothing
        }
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestAnswerRule)
#include "tst_answerrule.moc"
