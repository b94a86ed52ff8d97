#include "common/Date.h"
#include "common/IntervalChoice.h"
#include "TestMain.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestDate : public QObject
{
    Q_OBJECT

private slots:
    void calendarConversions_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<double>("value");

        QTest::newRow("epoch is never") << QDate(1899, 12, 30) << QTime(0, 0) << 0.0;
        QTest::newRow("noon of the epoch") << QDate(1899, 12, 30) << QTime(12, 0) << 0.5;
        QTest::newRow("day one") << QDate(1899, 12, 31) << QTime(6, 0) << 1.25;
        QTest::newRow("before epoch, time runs forward") << QDate(1899, 12, 29) << QTime(6, 0) << -1.25;
        QTest::newRow("before epoch, evening") << QDate(1899, 12, 29) << QTime(18, 0) << -1.75;
        QTest::newRow("before epoch, midnight") << QDate(1899, 12, 28) << QTime(0, 0) << -2.0;
        QTest::newRow("1900-01-01") << QDate(1900, 1, 1) << QTime(0, 0) << 2.0;
        QTest::newRow("2004 example") << QDate(2004, 1, 6) << QTime(18, 0) << 37992.75;
        QTest::newRow("2036 limit day") << QDate(2036, 2, 7) << QTime(0, 0) << 49712.0;
    }

    void calendarConversions()
    {
        QFETCH(QDate, day);
        QFETCH(QTime, time);
        QFETCH(double, value);

        QCOMPARE(DateTime::fromParts(day, time), value);
        QCOMPARE(DateTime::dayOf(value), day);
        QCOMPARE(DateTime::timeOf(value), time);
    }

    void secondsRoundTripExactly()
    {
        // Every second across both sides of the epoch and far out, with awkward fractions.
        const qint64 starts[] = { -86400 * 3 - 5, -1, 0, 86399, 49712LL * 86400 - 7, 2958465LL * 86400 };
        for (qint64 start : starts) {
            for (qint64 s = start; s < start + 200; ++s) {
                const Date d = DateTime::fromSerialSeconds(s);
                const auto back = DateTime::toSerialSeconds(d);
                QVERIFY2(back && *back == s, qPrintable(QString::number(s)));
            }
        }
    }

    void fractionsRoundToTheSecond()
    {
        // 23:59:59.8 rounds into the next calendar day, on both sides of the epoch.
        const double lateFraction = 86399.8 / 86400;
        QCOMPARE(DateTime::dayOf(0.0 + lateFraction), QDate(1899, 12, 31));
        QCOMPARE(DateTime::timeOf(0.0 + lateFraction), QTime(0, 0));
        QCOMPARE(DateTime::dayOf(-2.0 - lateFraction), QDate(1899, 12, 29));
        QCOMPARE(DateTime::timeOf(-2.0 - lateFraction), QTime(0, 0));
        // Dates in (-1, 0) name the epoch day, as their positive twins do.
        QCOMPARE(*DateTime::toSerialSeconds(-0.5), qint64(43200));
    }

    void rangeEnds_data()
    {
        QTest::addColumn<double>("date");
        QTest::addColumn<QDate>("day"); // invalid: not representable
        QTest::addColumn<QTime>("time");
        const double second = 1.0 / 86400;
        QTest::newRow("first second") << -693593.0 << QDate(1, 1, 1) << QTime(0, 0);
        QTest::newRow("noon of the first day") << -693593.5 << QDate(1, 1, 1) << QTime(12, 0);
        QTest::newRow("last second of the first day") << -693593.0 - 86399 * second << QDate(1, 1, 1) << QTime(23, 59, 59);
        QTest::newRow("the day before") << -693594.0 << QDate() << QTime();
        QTest::newRow("last second") << DateTime::MaxDate << QDate(9999, 12, 31) << QTime(23, 59, 59);
        QTest::newRow("last second and a fraction") << 2958465.0 + 86399.3 * second << QDate(9999, 12, 31)
                                                    << QTime(23, 59, 59);
        QTest::newRow("rounds into year 10000") << 2958465.0 + 86399.7 * second << QDate() << QTime();
        QTest::newRow("year 10000") << 2958466.0 << QDate() << QTime();
    }

    void rangeEnds()
    {
        QFETCH(double, date);
        QFETCH(QDate, day);
        QFETCH(QTime, time);
        QCOMPARE(DateTime::toSerialSeconds(date).has_value(), day.isValid());
        QCOMPARE(DateTime::dayOf(date), day);
        QCOMPARE(DateTime::timeOf(date), time);
    }

    void unrepresentableDates()
    {
        const double bad[] = { std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(), 1e300, -1e300, 2958466.0, -693594.0 };
        for (double d : bad) {
            QVERIFY(!DateTime::toSerialSeconds(d));
            QVERIFY(!DateTime::dayOf(d).isValid());
            QVERIFY(!DateTime::timeOf(d).isValid());
        }
        QCOMPARE(DateTime::dayOf(DateTime::MaxDate), QDate(9999, 12, 31));
        QCOMPARE(DateTime::dayOf(DateTime::MinDate), QDate(1, 1, 1));
    }

    void intervalChoice_data()
    {
        QTest::addColumn<bool>("minute");
        QTest::addColumn<bool>("hour");
        QTest::addColumn<bool>("day");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("code");

        QTest::newRow("minute") << true << false << false << 60 << 1;
        QTest::newRow("hour") << false << true << false << 3600 << 2;
        QTest::newRow("day") << false << false << true << 86400 << 3;
        QTest::newRow("none checked") << false << false << false << 60 << 1;
        QTest::newRow("later item wins") << true << true << false << 3600 << 2;
        QTest::newRow("all checked") << true << true << true << 86400 << 3;
    }

    void intervalChoice()
    {
        QFETCH(bool, minute);
        QFETCH(bool, hour);
        QFETCH(bool, day);
        QFETCH(int, seconds);
        QFETCH(int, code);

        IntervalChoice choice { minute, hour, day };
        QCOMPARE(choice.GetSynchInterval(), seconds);
        QCOMPARE(choice.code(), code);
    }

    void intervalCodes()
    {
        IntervalChoice choice;
        for (qint32 bad : { 0, 4, -1 }) {
            choice.applyCode(bad);
            QVERIFY(!choice.Minute && !choice.Hour && choice.Day);
        }
        choice.applyCode(2);
        QVERIFY(!choice.Minute && choice.Hour && !choice.Day);
        choice.applyCode(1);
        QVERIFY(choice.Minute && !choice.Hour && !choice.Day);
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestDate)
#include "tst_date.moc"
