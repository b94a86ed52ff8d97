#include "ClockPrivilege.h"
#include "TimeZoneGuard.h"
#include "clockhelper/ClockRequest.h"
#include "platform/SystemClock.h"
#include "platform/WallClock.h"
#include "sync/TimeProtocol.h"
#include "TestMain.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstdlib>
#include <ctime>

// This program is linked with clock_gettime and clock_settime of the core library wrapped
// (see CMakeLists.txt): the real clock seam reads and sets a clock of the test's own.
namespace {
timespec fakeNow {};
int settings = 0;
bool refuse = false; // the clock refuses this process, as it does an account without the privilege
} // namespace

extern "C" int __wrap_clock_gettime(clockid_t, timespec *result)
{
    *result = fakeNow;
    return 0;
}

extern "C" int __wrap_clock_settime(clockid_t, const timespec *wanted)
{
    if (refuse) {
        errno = EPERM;
        return -1;
    }
    fakeNow = *wanted;
    ++settings;
    return 0;
}

// Setting the clock across the changes of daylight saving: the client computes the
// server's local time with the bias in force now, and the clock must end at the server's
// UTC, never an hour (or half an hour) away from it.
class TestWallClock : public QObject
{
    Q_OBJECT

    TimeZoneGuard mZone;
    QTemporaryDir mFolder;

    QString record() const { return mFolder.filePath(QStringLiteral("record")); }

    // A stand-in for the clock helper: a script that appends its arguments to the record
    // as one line and then runs the given shell commands.
    QString standIn(const QByteArray &commands, QFile::Permissions permissions = QFile::ReadOwner | QFile::ExeOwner)
    {
        const QString path = mFolder.filePath(QStringLiteral("brindlecot-clock"));
        QFile::remove(path);
        QFile::remove(record());
        QFile script(path);
        if (!script.open(QIODevice::WriteOnly))
            return QString();
        script.write("#!/bin/sh\necho \"$@\" >> '" + QFile::encodeName(record()) + "'\n" + commands + '\n');
        script.close();
        script.setPermissions(permissions);
        return path;
    }

    QList<QByteArray> recorded() const
    {
        QFile file(record());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> lines = file.readAll().split('\n');
        lines.removeAll(QByteArray());
        return lines;
    }

    // What the real helper would set the clock to for the last recorded request.
    bool applyLastRequest()
    {
        const QList<QByteArray> lines = recorded();
        if (lines.isEmpty())
            return false;
        const QList<QByteArray> words = lines.last().split(' ');
        if (words.size() != 3)
            return false;
        const auto utc = parseClockRequest(words[0].toStdString(), words[1].toStdString(), words[2].toStdString());
        if (!utc)
            return false;
        fakeNow = { time_t(utc->seconds), utc->nanoseconds };
        return true;
    }

    static QDateTime utc(const char *text) { return QDateTime::fromString(QLatin1String(text), Qt::ISODate); }

private slots:
    void initTestCase()
    {
        // Should the wrapping ever fail, this process still cannot set the real clock.
        QVERIFY(dropClockPrivilege());
        QVERIFY(mFolder.isValid());
    }

    void cleanup()
    {
        refuse = false;
        QFile::remove(record());
    }

    void matchesTheCalendar_data()
    {
        QTest::addColumn<qint64>("utc");
        QTest::addColumn<int>("bias");
        QTest::newRow("epoch") << qint64(0) << 0;
        QTest::newRow("a second before the epoch, east") << qint64(-1) << -330;
        QTest::newRow("leap day 2000, west") << qint64(951825600) << 300;
        QTest::newRow("2100 is no leap year") << qint64(4107542399) << 0;
        QTest::newRow("1900") << -TimeProtocol::UnixEpochOffset << 60;
        QTest::newRow("last Time Protocol second") << qint64(2085978495) << -780;
    }

    void matchesTheCalendar()
    {
        QFETCH(qint64, utc);
        QFETCH(int, bias);
        const time_t shifted = time_t(utc - qint64(bias) * 60);
        std::tm expected {};
        QVERIFY(gmtime_r(&shifted, &expected));
        const WallClock::LocalTime local = WallClock::fromUtcSeconds(utc, bias);
        QCOMPARE(local.year, expected.tm_year + 1900);
        QCOMPARE(local.month, expected.tm_mon + 1);
        QCOMPARE(local.day, expected.tm_mday);
        QCOMPARE(local.secondOfDay, expected.tm_hour * 3600 + expected.tm_min * 60 + expected.tm_sec);
        QVERIFY(WallClock::isValid(local));
        QCOMPARE(WallClock::toUtcSeconds(local, bias), utc);
    }

    void clockEndsAtTheServersTime_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("clock"); // the machine's clock, UTC
        QTest::addColumn<int>("serverAhead"); // seconds

        // New York: the clocks go back at 02:00 EDT and forward at 02:00 EST.
        QTest::newRow("New York, first 01:30, server behind") << QByteArray("America/New_York") << utc("2023-11-05T05:30:00Z") << -5;
        QTest::newRow("New York, second 01:30, server ahead") << QByteArray("America/New_York") << utc("2023-11-05T06:30:00Z") << 5;
        QTest::newRow("New York, into the repeated hour") << QByteArray("America/New_York") << utc("2023-11-05T05:59:58Z") << 30;
        QTest::newRow("New York, 03:00:03 after the skip, server behind") << QByteArray("America/New_York") << utc("2024-03-10T07:00:03Z") << -10;
        QTest::newRow("New York, 01:59:55 before the skip, server ahead") << QByteArray("America/New_York") << utc("2024-03-10T06:59:55Z") << 20;
        QTest::newRow("New York, summer") << QByteArray("America/New_York") << utc("2024-07-01T16:00:00Z") << 1799;
        // Berlin: back at 03:00 CEST, forward at 02:00 CET.
        QTest::newRow("Berlin, second 02:30, server behind") << QByteArray("Europe/Berlin") << utc("2023-10-29T01:30:00Z") << -7;
        QTest::newRow("Berlin, first 02:30, server ahead") << QByteArray("Europe/Berlin") << utc("2023-10-29T00:30:00Z") << 7;
        QTest::newRow("Berlin, after the skip, server behind") << QByteArray("Europe/Berlin") << utc("2024-03-31T01:00:05Z") << -60;
        QTest::newRow("Berlin, winter, across midnight") << QByteArray("Europe/Berlin") << utc("2024-01-15T22:59:58Z") << 5;
        QTest::newRow("Berlin, winter, back across midnight") << QByteArray("Europe/Berlin") << utc("2024-01-15T23:00:02Z") << -5;
        // Lord Howe Island: half-hour changes, forward at 02:00 to 02:30, back at 02:00 to 01:30.
        QTest::newRow("Lord Howe, after the skip, server behind") << QByteArray("Australia/Lord_Howe") << utc("2023-09-30T15:30:04Z") << -10;
        QTest::newRow("Lord Howe, first 01:45, server behind") << QByteArray("Australia/Lord_Howe") << utc("2024-04-06T14:45:00Z") << -5;
        QTest::newRow("Lord Howe, second 01:45, server ahead") << QByteArray("Australia/Lord_Howe") << utc("2024-04-06T15:15:00Z") << 5;
        QTest::newRow("Lord Howe, ordinary") << QByteArray("Australia/Lord_Howe") << utc("2024-06-01T00:00:00Z") << -1799;
    }

    void clockEndsAtTheServersTime()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, clock);
        QFETCH(int, serverAhead);
        QVERIFY(clock.isValid());
        QVERIFY2(QFile::exists(QStringLiteral("/usr/share/zoneinfo/") + QString::fromLatin1(zone)), "tzdata is missing");
        qputenv("TZ", zone);
        tzset();

        const qint64 machine = clock.toSecsSinceEpoch();
        const qint64 server = machine + serverAhead;
        fakeNow = { time_t(machine), 250000000 };
        settings = 0;
        const auto seam = createSystemClock();

        // The client: the bias in force now (as the bias seam reads it), the server's time
        // in local time with it, and the error against the clock's local reading.
        const time_t now = time_t(machine);
        std::tm local {};
        QVERIFY(localtime_r(&now, &local));
        const qint32 bias = qint32(-local.tm_gmtoff / 60);
        const Date target = TimeValueToLocal(quint32(server + TimeProtocol::UnixEpochOffset), bias);
        QCOMPARE(SecondsSince(target, seam->now()), qAbs(serverAhead));

        // One setting of the whole instant through the real seam, with the half second and
        // more that the client adds after the server's second.
        QCOMPARE(seam->setLocalDateTime(target, bias, 1250), 0);
        QCOMPARE(settings, 1);
        QCOMPARE(qint64(fakeNow.tv_sec), server + 1);
        QCOMPARE(fakeNow.tv_nsec, 250000000L);
    }

    // Without the privilege the helper sets the clock, told the whole local date and
    // time with the bias that the client converted with: the same end, to the second.
    void helperEndsAtTheServersTime_data() { clockEndsAtTheServersTime_data(); }

    void helperEndsAtTheServersTime()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, clock);
        QFETCH(int, serverAhead);
        QVERIFY2(QFile::exists(QStringLiteral("/usr/share/zoneinfo/") + QString::fromLatin1(zone)), "tzdata is missing");
        qputenv("TZ", zone);
        tzset();
        const qint64 machine = clock.toSecsSinceEpoch();
        const qint64 server = machine + serverAhead;
        fakeNow = { time_t(machine), 250000000 };
        refuse = true;
        const auto seam = createSystemClock(standIn("exit 0"));

        const time_t now = time_t(machine);
        std::tm local {};
        QVERIFY(localtime_r(&now, &local));
        const qint32 bias = qint32(-local.tm_gmtoff / 60);
        const Date target = TimeValueToLocal(quint32(server + TimeProtocol::UnixEpochOffset), bias);

        QCOMPARE(seam->setLocalDateTime(target, bias, 500), 0);
        QVERIFY(applyLastRequest());
        QCOMPARE(qint64(fakeNow.tv_sec), server);
        QCOMPARE(fakeNow.tv_nsec, 500000000L);

        // One run names the local date and time in full, to the millisecond, with the bias
        // as it was read.
        const QList<QByteArray> requests = recorded();
        QCOMPARE(requests.size(), 1);
        const QDateTime after = QDateTime::fromSecsSinceEpoch(server, Qt::OffsetFromUTC, -bias * 60);
        QCOMPARE(requests[0], after.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1() + ".500 "
                                  + QByteArray::number(bias));
    }

    // The helper's exit status as the error number that the message shows.
    void helperStatus_data()
    {
        QTest::addColumn<QByteArray>("commands");
        QTest::addColumn<int>("error");
        QTest::newRow("set") << QByteArray("exit 0") << 0;
        QTest::newRow("refused") << QByteArray("exit 1") << EPERM;
        QTest::newRow("invalid") << QByteArray("exit 22") << EINVAL;
        QTest::newRow("highest number") << QByteArray("exit 63") << 63;
        QTest::newRow("malformed request") << QByteArray("exit 64") << EINVAL;
        QTest::newRow("number above 63") << QByteArray("exit 65") << EIO;
        QTest::newRow("not a correction") << QByteArray("exit 66") << ERANGE;
        QTest::newRow("unknown status") << QByteArray("exit 99") << EIO;
        QTest::newRow("killed") << QByteArray("kill -KILL $$") << EIO;
    }

    void helperStatus()
    {
        QFETCH(QByteArray, commands);
        QFETCH(int, error);
        fakeNow = { time_t(1796860800), 0 };
        refuse = true;
        qputenv("TZ", "UTC0");
        tzset();
        const auto seam = createSystemClock(standIn(commands));
        QCOMPARE(seam->setLocalDateTime(DateTime::fromParts(QDate(2026, 12, 10), QTime(12, 0, 5)), 0, 20), error);
        QCOMPARE(recorded(), QList<QByteArray> { "2026-12-10 12:00:05.020 0" });
    }

    // Without a helper to run, the refusal stands: EPERM, "Error (1)".
    void noHelperToRun_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<int>("permissions");
        QTest::newRow("none given") << false << 0;
        QTest::newRow("missing") << true << -1;
        QTest::newRow("not executable") << true << int(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    }

    void noHelperToRun()
    {
        QFETCH(bool, installed);
        QFETCH(int, permissions);
        fakeNow = { time_t(1796860800), 0 };
        refuse = true;
        QString helper;
        if (installed) {
            helper = standIn("exit 0", QFile::Permissions(qMax(permissions, 0)));
            if (permissions < 0)
                QVERIFY(QFile::remove(helper));
        }
        const auto seam = createSystemClock(helper);
        QCOMPARE(seam->setLocalDateTime(DateTime::fromParts(QDate(2026, 12, 11), QTime(12, 0, 5)), 0), EPERM);
        QCOMPARE(recorded(), QList<QByteArray>());
        QCOMPARE(qint64(fakeNow.tv_sec), qint64(1796860800));
    }

    // A helper that does not finish is ended at the time limit.
    void helperPastTheTimeLimit()
    {
        fakeNow = { time_t(1796860800), 0 };
        refuse = true;
        const auto seam = createSystemClock(standIn("exec sleep 20"), 300);
        QElapsedTimer waited;
        waited.start();
        QCOMPARE(seam->setLocalDateTime(DateTime::fromParts(QDate(2026, 12, 10), QTime(12, 0, 5)), 0), ETIMEDOUT);
        QVERIFY2(waited.elapsed() < 3000, QByteArray::number(waited.elapsed()));
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestWallClock)
#include "tst_wallclock.moc"
