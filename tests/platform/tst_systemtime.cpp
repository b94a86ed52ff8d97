#include "platform/SystemClock.h"
#include "platform/TimeZoneBias.h"

#include <QDateTime>
#include <QTest>

#include <cstdlib>
#include <ctime>

// The real time seams, read only: no test ever sets the machine's clock.
class TestSystemTime : public QObject
{
    Q_OBJECT

    QByteArray mSavedZone;

private slots:
    void initTestCase() { mSavedZone = qgetenv("TZ"); }

    void cleanupTestCase()
    {
        if (mSavedZone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", mSavedZone);
        tzset();
    }

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
        qputenv("TZ", zone);
        qint32 read = 12345;
        QVERIFY(seam->read(read));
        QCOMPARE(read, bias);
    }

    void nowIsTheLocalTimeOfTheSecond()
    {
        const auto clock = createSystemClock();
        for (const char *zone : { "UTC0", "EST5", "IST-5:30" }) {
            qputenv("TZ", zone);
            const QDateTime before = QDateTime::currentDateTime();
            const Date now = clock->now();
            const QDateTime after = QDateTime::currentDateTime();
            const Date low = DateTime::fromParts(before.date(), before.time());
            const Date high = DateTime::fromParts(after.date(), after.time());
            QVERIFY2(now >= low && now <= high, zone);
            QCOMPARE(DateTime::timeOf(now).msec(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestSystemTime)
#include "tst_systemtime.moc"
