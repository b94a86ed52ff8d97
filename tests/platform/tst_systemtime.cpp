#include "TimeZoneGuard.h"
#include "platform/SystemClock.h"
#include "platform/TimeZoneBias.h"
#include "TestMain.h"

#include <QDateTime>
#include <QTest>

// The real time seams, read only: no test ever sets the machine's clock.
class TestSystemTime : public QObject
{
    Q_OBJECT

    TimeZoneGuard mZone;

private slots:
    void biasFollowsTheZoneAtEveryRead_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<int>("bias");
        // Fixed-offset POSIX zones: no daylight saving to make the figure depend on the date.
        QTest::newRow("UTC") << QByteArray("UTC0") << 0;
        QTest::newRow("five hours west") << QByteArray("EST5") << 300;
        QTest::newRow("one hour east") << QByteArray("CET-1") << -60;
        QTest::newRow("half hours") << QByteArray("IST-5:30") << -330;
    }

    void biasFollowsTheZoneAtEveryRead()
    {
        QFETCH(QByteArray, zone);
        QFETCH(int, bias);
        const auto seam = createTimeZoneBias(); // one reader, the zone changed under it
#ifdef Q_OS_WIN
        // The system's zone, which a process does not change; under Wine the TZ that the
        // prefix's programs start with chooses it.
        if (mZone.saved() != zone)
            QSKIP("Windows: this row's zone is not the system's");
#else
        qputenv("TZ", zone);
#endif
        qint32 read = 12345;
        QVERIFY(seam->read(read));
        QCOMPARE(read, bias);
    }

    void nowIsTheLocalTimeOfTheSecond()
    {
        const auto clock = createSystemClock();
#ifdef Q_OS_WIN
        // The system's zone alone: TZ would turn Qt's local time away from it.
        for (const char *zone : { "the system's zone" }) {
#else
        for (const char *zone : { "UTC0", "EST5", "IST-5:30" }) {
            qputenv("TZ", zone);
#endif
            const QDateTime before = QDateTime::currentDateTime();
            const Date now = clock->now();
            const QDateTime after = QDateTime::currentDateTime();
            const Date low = DateTime::fromParts(before.date(), before.time());
            const Date high = DateTime::fromParts(after.date(), after.time());
            QVERIFY2(now >= low && now <= high, zone);
            QCOMPARE(DateTime::timeOf(now).msec(), 0);
        }
    }

    void utcSecondsAreTheSecondsSince1970()
    {
        const auto clock = createSystemClock();
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        const qint64 seconds = clock->utcSeconds();
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        QVERIFY(seconds >= before && seconds <= after);
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestSystemTime)
#include "tst_systemtime.moc"
