#include "sync/TimeProtocol.h"
#include "TestMain.h"

#include <QTest>

class TestTimeProtocol : public QObject
{
    Q_OBJECT

private slots:
    void toLocal_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("bias");
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QTime>("time");

        const QByteArray example = QByteArray::fromHex("c3a57fcd");
        QTest::newRow("five hours west") << example << 300 << QDate(2004, 1, 6) << QTime(13, 41, 17);
        QTest::newRow("one hour east") << example << -60 << QDate(2004, 1, 6) << QTime(19, 41, 17);
        QTest::newRow("UTC") << example << 0 << QDate(2004, 1, 6) << QTime(18, 41, 17);
        QTest::newRow("bias crosses midnight") << example << -330 << QDate(2004, 1, 7) << QTime(0, 11, 17);
        QTest::newRow("zero") << QByteArray(4, '\0') << 0 << QDate(1900, 1, 1) << QTime(0, 0);
        QTest::newRow("zero, west of UTC") << QByteArray(4, '\0') << 60 << QDate(1899, 12, 31) << QTime(23, 0);
        QTest::newRow("largest") << QByteArray::fromHex("ffffffff") << 0 << QDate(2036, 2, 7) << QTime(6, 28, 15);
        QTest::newRow("extra bytes ignored") << QByteArray::fromHex("c3a57fcd0102") << 300 << QDate(2004, 1, 6)
                                             << QTime(13, 41, 17);
    }

    void toLocal()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, bias);
        QFETCH(QDate, day);
        QFETCH(QTime, time);

        const auto value = TimeProtocol::decode(bytes);
        QVERIFY(value);
        const Date local = TimeValueToLocal(*value, bias);
        QCOMPARE(DateTime::dayOf(local), day);
        QCOMPARE(DateTime::timeOf(local), time);

        // And back: the same four bytes.
        const auto again = LocalToTimeValue(local, bias);
        QVERIFY(again);
        QCOMPARE(TimeProtocol::encode(*again), bytes.left(4));
    }

    void shortBlocksAreRejected()
    {
        for (int size = 0; size < 4; ++size)
            QVERIFY(!TimeProtocol::decode(QByteArray(size, '\x7f')));
    }

    void valuesOutsideTheFourBytes()
    {
        const Date last = DateTime::fromParts(QDate(2036, 2, 7), QTime(6, 28, 15));
        QCOMPARE(LocalToTimeValue(last, 0), std::optional<quint32>(0xffffffffu));
        QVERIFY(!LocalToTimeValue(last + 1.0 / 86400, 0));
        // The same local moment east of UTC is earlier in UTC and still fits.
        QVERIFY(LocalToTimeValue(last + 1.0 / 86400, -60));
        QVERIFY(!LocalToTimeValue(DateTime::fromParts(QDate(1899, 12, 31), QTime(23, 59, 59)), 0));
        QVERIFY(!LocalToTimeValue(std::numeric_limits<double>::quiet_NaN(), 0));
    }

    void secondsSince_data()
    {
        QTest::addColumn<double>("then");
        QTest::addColumn<int>("expected");

        const Date now = DateTime::fromParts(QDate(2004, 1, 6), QTime(13, 41, 17));
        QTest::newRow("same second") << now << 0;
        QTest::newRow("one second behind") << now - 1.0 / 86400 << 1;
        QTest::newRow("ahead counts the same") << now + 1799.0 / 86400 << 1799;
        QTest::newRow("1900 is beyond 68 years") << TimeValueToLocal(0, 0) << -1;
        QTest::newRow("not a date") << std::numeric_limits<double>::infinity() << -1;
    }

    void secondsSince()
    {
        QFETCH(double, then);
        QFETCH(int, expected);
        const Date now = DateTime::fromParts(QDate(2004, 1, 6), QTime(13, 41, 17));
        QCOMPARE(SecondsSince(then, now), expected);
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestTimeProtocol)
#include "tst_timeprotocol.moc"
