#include "clockhelper/ClockRequest.h"
#include "platform/PortHelper.h"
#include "ClockPrivilege.h"
#include "TestMain.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

// The clock helper, run without the clock privilege (this process drops it from its
// bounding set, and setpriv once more for each run), so that no case can set the
// machine's clock.
class TestClockHelper : public QObject
{
    Q_OBJECT

    static constexpr int Unprivileged = 65534; // nobody's user and group
    static constexpr int TooFarStatus = 66;

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

    // A request for the UTC instant `utc` plus half a second: what the program adds at least.
    static QStringList requestFor(qint64 utc)
    {
        const QDateTime at = QDateTime::fromSecsSinceEpoch(utc, Qt::UTC);
        return { at.toString(QStringLiteral("yyyy-MM-dd")), at.toString(QStringLiteral("HH:mm:ss.500")), "0" };
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dropClockPrivilege());
    }

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

    // Which settings count as a correction the program could ask for. The clock reads
    // second Now (and some part of the next); a request is the server's whole second plus
    // what the program adds, 0.5 s to 1 s.
    void correction_data()
    {
        constexpr long long Now = 1796904000;
        constexpr long Half = 500000000, Last = 999000000; // nanoseconds
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<qint64>("nanoseconds");
        QTest::addColumn<qint64>("nowNanoseconds");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("the present second") << qint64(Now) << qint64(Half) << qint64(0) << true;
        QTest::newRow("the largest correction ahead") << qint64(Now + 1799) << qint64(Half) << qint64(Last) << true;
        QTest::newRow("the same, 1 s added") << qint64(Now + 1800) << qint64(0) << qint64(0) << true;
        QTest::newRow("the largest correction behind, read a second earlier")
            << qint64(Now - 1800) << qint64(Half) << qint64(0) << true;
        QTest::newRow("the same, 1 s added") << qint64(Now - 1799) << qint64(0) << qint64(Last) << true;
        QTest::newRow("1,800 s ahead") << qint64(Now + 1800) << qint64(Half) << qint64(0) << false;
        QTest::newRow("1,800 s ahead, 1 s added") << qint64(Now + 1801) << qint64(0) << qint64(Last) << false;
        QTest::newRow("1,800 s behind a second earlier") << qint64(Now - 1801) << qint64(Last) << qint64(0) << false;
        QTest::newRow("1,800 s behind, 1 s added") << qint64(Now - 1800) << qint64(0) << qint64(0) << false;
        QTest::newRow("a day ahead") << qint64(Now + 86400) << qint64(Half) << qint64(0) << false;
        QTest::newRow("1970") << qint64(0) << qint64(0) << qint64(0) << false;
        QTest::newRow("9999") << qint64(253402300799) << qint64(Last) << qint64(Last) << false;
    }

    void correction()
    {
        QFETCH(qint64, seconds);
        QFETCH(qint64, nanoseconds);
        QFETCH(qint64, nowNanoseconds);
        QFETCH(bool, allowed);
        constexpr long long Now = 1796904000;
        QCOMPARE(isCorrection({ seconds, long(nanoseconds) }, { Now, long(nowNanoseconds) }), allowed);
    }

    // The helper reads the clock itself and refuses anything but a correction before it
    // tries to set the clock; a correction reaches clock_settime, which refuses it for
    // want of the privilege (EPERM). Offsets count from this test's reading of the clock.
    void onlyACorrectionIsTried_data()
    {
        constexpr qint64 FromNow = -1; // offset counts from now
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<int>("status");
        QTest::newRow("now") << FromNow << qint64(0) << EPERM;
        QTest::newRow("the largest correction ahead") << FromNow << qint64(1799) << EPERM;
        QTest::newRow("the largest correction behind") << FromNow << qint64(-1799) << EPERM;
        QTest::newRow("1,801 s ahead") << FromNow << qint64(1801) << TooFarStatus;
        QTest::newRow("1,801 s behind") << FromNow << qint64(-1801) << TooFarStatus;
        QTest::newRow("a year behind") << FromNow << qint64(-365 * 86400) << TooFarStatus;
        QTest::newRow("1970") << qint64(0) << qint64(0) << TooFarStatus;
        QTest::newRow("9999") << qint64(253402300799) << qint64(-1) << TooFarStatus;
    }

    void onlyACorrectionIsTried()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, offset);
        QFETCH(int, status);
        const qint64 base = from < 0 ? QDateTime::currentSecsSinceEpoch() : from;
        const Result result = run(requestFor(base + offset));
        QCOMPARE(result.exitCode, status);
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(result.err.count('\n'), 1);
        QVERIFY2(result.err.startsWith(status == EPERM ? "brindlecot-clock: error 1: " : "brindlecot-clock: refused: "),
                 result.err.constData());
    }

    // Installed either way, the helper binds port 37 as the caller: the listening socket
    // it hands back belongs to the account that ran it, not to root. Run as nobody in a
    // network namespace of its own, where port 37 is free and nothing outside can reach it.
    void listenerBelongsToTheCaller_data()
    {
        QTest::addColumn<bool>("setUserId");
        QTest::newRow("file capabilities") << false;
        QTest::newRow("set-user-ID root") << true;
    }

    void listenerBelongsToTheCaller()
    {
        QFETCH(bool, setUserId);
        if (::geteuid() != 0)
            QSKIP("installing a copy of the helper as root needs root");
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        // Only nobody may reach the copy, a privileged file for a moment: its folder is
        // nobody's own, not merely open to nobody's group.
        const QString copy = folder.filePath(QStringLiteral("brindlecot-clock"));
        QVERIFY(QFile::copy(QStringLiteral(BRINDLECOT_CLOCK_HELPER), copy));
        QCOMPARE(::chown(QFile::encodeName(folder.path()).constData(), Unprivileged, Unprivileged), 0);
        QCOMPARE(::chmod(QFile::encodeName(folder.path()).constData(), 0700), 0);
        QCOMPARE(::chown(QFile::encodeName(copy).constData(), 0, Unprivileged), 0);
        if (setUserId) {
            QCOMPARE(::chmod(QFile::encodeName(copy).constData(), 04750), 0);
        } else {
            QCOMPARE(::chmod(QFile::encodeName(copy).constData(), 0750), 0);
            if (QProcess::execute(QStringLiteral("setcap"), { "cap_net_bind_service=p", copy }) != 0)
                QSKIP("setcap does not work here");
        }

        int channel[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel), 0);
        QProcess process;
        process.setProgram(QStringLiteral("unshare"));
        process.setArguments({ "--net", "--", "setpriv", "--reuid", QString::number(Unprivileged), "--regid",
                               QString::number(Unprivileged), "--clear-groups", "--inh-caps", "-all",
                               "--bounding-set", "-sys_time", "--", copy, "listen" });
        const int helperEnd = channel[1];
        process.setChildProcessModifier([helperEnd] { ::dup2(helperEnd, STDOUT_FILENO); });
        process.start();
        ::close(channel[1]);

        // Received as the program receives it.
        const int listener = int(PortHelper::receiveDescriptor(channel[0], 5000));
        ::close(channel[0]);
        const bool ended = process.waitForFinished(5000);
        if (!ended)
            process.kill();
        struct stat socket {};
        const bool owned = listener >= 0 && ::fstat(listener, &socket) == 0;
        if (listener >= 0)
            ::close(listener);
        QVERIFY2(ended && process.exitCode() == 0, process.readAllStandardError().constData());
        QVERIFY(owned);
        QVERIFY(S_ISSOCK(socket.st_mode));
        QCOMPARE(int(socket.st_uid), Unprivileged);
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestClockHelper)
#include "tst_clockhelper.moc"
