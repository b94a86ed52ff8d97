#include "clockhelper/ClockRequest.h"

#include <QDateTime>
#include <QProcess>
#include <QTest>

// The clock helper, run without the clock privilege (setpriv drops it from the bounding
// and inheritable sets), so that no case can set the machine's clock.
class TestClockHelper : public QObject
{
    Q_OBJECT

    struct Result
    {
        int exitCode = -1;
        QByteArray out, err;
    };

    static Result run(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral("setpriv"),
                      QStringList { "--inh-caps", "-sys_time", "--bounding-set", "-sys_time", "--",
                                    QStringLiteral(BRINDLECOT_CLOCK_HELPER) }
                          + arguments);
        if (!process.waitForStarted(5000) || !process.waitForFinished(5000)
            || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished(1000);
            return {};
        }
        return { process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError() };
    }

private slots:
    // The moment a request names: local + bias, in seconds since 1970 UTC and milliseconds.
    void conversion_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("bias");
        QTest::addColumn<qint64>("utc");
        QTest::addColumn<int>("milliseconds");
        QTest::newRow("UTC") << "2004-01-06" << "18:41:17" << "0" << Q_INT64_C(1073414477) << 0;
        QTest::newRow("west of Greenwich") << "2004-01-06" << "13:41:17" << "300" << Q_INT64_C(1073414477) << 0;
        QTest::newRow("east, across midnight") << "2004-01-07" << "05:41:17" << "-660" << Q_INT64_C(1073414477) << 0;
        QTest::newRow("explicit plus") << "2004-01-06" << "13:41:17" << "+300" << Q_INT64_C(1073414477) << 0;
        QTest::newRow("west, across a year") << "2003-12-31" << "19:00:00" << "300" << Q_INT64_C(1072915200) << 0;
        QTest::newRow("leap day") << "2024-02-29" << "12:00:00" << "0" << Q_INT64_C(1709208000) << 0;
        QTest::newRow("the epoch") << "1970-01-01" << "00:00:00" << "0" << Q_INT64_C(0) << 0;
        QTest::newRow("end of the 32-bit Time Protocol") << "2036-02-07" << "06:28:15" << "0" << Q_INT64_C(2085978495) << 0;
        QTest::newRow("past 2038") << "2040-01-01" << "00:00:00" << "0" << Q_INT64_C(2208988800) << 0;
        QTest::newRow("widest bias") << "2026-12-10" << "00:00:00" << "-1440" << Q_INT64_C(1796774400) << 0;
        QTest::newRow("milliseconds") << "2004-01-06" << "13:41:17.500" << "300" << Q_INT64_C(1073414477) << 500;
        QTest::newRow("last millisecond") << "2003-12-31" << "23:59:59.999" << "0" << Q_INT64_C(1072915199) << 999;
        QTest::newRow("no milliseconds spelt out") << "2004-01-06" << "13:41:17.000" << "300" << Q_INT64_C(1073414477) << 0;
        QTest::newRow("last year written") << "9999-12-31" << "23:59:59" << "0" << Q_INT64_C(253402300799) << 0;
    }

    void conversion()
    {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QString, bias);
        QFETCH(qint64, utc);
        QFETCH(int, milliseconds);
        const std::optional<ClockInstant> instant
            = parseClockRequest(date.toStdString(), time.toStdString(), bias.toStdString());
        QVERIFY(instant);
        QCOMPARE(qint64(instant->seconds), utc);
        QCOMPARE(qint64(instant->nanoseconds), qint64(milliseconds) * 1000000);
    }

    // Anything not exactly of the documented form is refused before the clock is touched:
    // without the privilege a well-formed value would give EPERM (1) instead.
    void malformed_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList {};
        QTest::newRow("two arguments") << QStringList { "2026-12-10", "14:05:00" };
        QTest::newRow("four arguments") << QStringList { "2026-12-10", "14:05:00", "0", "0" };
        QTest::newRow("empty date") << QStringList { "", "14:05:00", "0" };
        QTest::newRow("month 13") << QStringList { "2026-13-10", "14:05:00", "0" };
        QTest::newRow("month 0") << QStringList { "2026-00-10", "14:05:00", "0" };
        QTest::newRow("February 29 of a common year") << QStringList { "2026-02-29", "14:05:00", "0" };
        QTest::newRow("February 30 of a leap year") << QStringList { "2028-02-30", "14:05:00", "0" };
        QTest::newRow("short year") << QStringList { "226-12-10", "14:05:00", "0" };
        QTest::newRow("one-digit month") << QStringList { "2026-1-10", "14:05:00", "0" };
        QTest::newRow("slashes") << QStringList { "2026/12/10", "14:05:00", "0" };
        QTest::newRow("before 1970") << QStringList { "1969-12-31", "23:59:59", "0" };
        QTest::newRow("before 1970 in UTC") << QStringList { "1970-01-01", "00:30:00", "-60" };
        QTest::newRow("hour 24") << QStringList { "2026-12-10", "24:00:00", "0" };
        QTest::newRow("minute 60") << QStringList { "2026-12-10", "14:60:00", "0" };
        QTest::newRow("leap second") << QStringList { "2026-12-10", "23:59:60", "0" };
        QTest::newRow("no seconds") << QStringList { "2026-12-10", "14:05", "0" };
        QTest::newRow("trailing text") << QStringList { "2026-12-10", "14:05:00x", "0" };
        QTest::newRow("two digits of milliseconds") << QStringList { "2026-12-10", "14:05:00.50", "0" };
        QTest::newRow("four digits of milliseconds") << QStringList { "2026-12-10", "14:05:00.5000", "0" };
        QTest::newRow("comma before milliseconds") << QStringList { "2026-12-10", "14:05:00,500", "0" };
        QTest::newRow("signed milliseconds") << QStringList { "2026-12-10", "14:05:00.-50", "0" };
        QTest::newRow("dot without milliseconds") << QStringList { "2026-12-10", "14:05:00.", "0" };
        QTest::newRow("signed field") << QStringList { "2026-12-10", "14:+5:00", "0" };
        QTest::newRow("bias beyond a day") << QStringList { "2026-12-10", "14:05:00", "1441" };
        QTest::newRow("bias five digits") << QStringList { "2026-12-10", "14:05:00", "00060" };
        QTest::newRow("bias empty") << QStringList { "2026-12-10", "14:05:00", "" };
        QTest::newRow("bias sign only") << QStringList { "2026-12-10", "14:05:00", "-" };
        QTest::newRow("bias two signs") << QStringList { "2026-12-10", "14:05:00", "--60" };
        QTest::newRow("bias in hours") << QStringList { "2026-12-10", "14:05:00", "1h" };
        QTest::newRow("bias with space") << QStringList { "2026-12-10", "14:05:00", " 60" };
    }

    void malformed()
    {
        QFETCH(QStringList, arguments);
        const Result result = run(arguments);
        QCOMPARE(result.exitCode, 64);
        QCOMPARE(result.out, QByteArray());
        QVERIFY(result.err.startsWith("brindlecot-clock: malformed request"));
        QCOMPARE(result.err.count('\n'), 1);
    }

    // A well-formed value reaches clock_settime, whose refusal comes back as its errno.
    // The value is the present moment, so even a helper that could set the clock would
    // leave it where it is.
    void refusalReportsTheSystemsErrorNumber_data()
    {
        QTest::addColumn<int>("biasShift"); // minutes added to the true bias and to the local time
        QTest::newRow("the true bias") << 0;
        QTest::newRow("signed bias across midnight") << -1440;
        QTest::newRow("positive bias with a sign") << 600;
    }

    void refusalReportsTheSystemsErrorNumber()
    {
        QFETCH(int, biasShift);
        const QDateTime now = QDateTime::currentDateTime();
        const int bias = -now.offsetFromUtc() / 60 + biasShift;
        if (qAbs(bias) > 1440)
            QSKIP("this zone's bias and the shift leave the accepted range");
        const QDateTime local = now.toUTC().addSecs(-qint64(bias) * 60);
        QString biasText = QString::number(bias);
        if (bias > 0 && biasShift > 0)
            biasText.prepend(QLatin1Char('+'));
        const Result result = run({ local.toString(QStringLiteral("yyyy-MM-dd")),
                                    local.toString(QStringLiteral("HH:mm:ss")), biasText });
        QCOMPARE(result.exitCode, EPERM);
        QCOMPARE(result.err, QByteArray("brindlecot-clock: error 1: ") + strerror(EPERM) + '\n');
    }
};

QTEST_GUILESS_MAIN(TestClockHelper)
#include "tst_clockhelper.moc"
