#include "ClockPrivilege.h"
#include "OtherAccount.h"
#include "PrivateSessionBus.h"
#include "PortThirtySevenServer.h"
#include "TestProgram.h"
#include "TrayDesktop.h"
#include "app/ControlProtocol.h"
#include "platform/ControlAccess.h"
#include "servers/DataFile.h"
#include "sync/TimeProtocol.h"
#include "TestMain.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDateTime>
#include <QDir>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int AnswerWaitMs = 3000;  // milliseconds
constexpr int FloodConnections = 1000;
constexpr int FloodWave = 100;      // connections open at once
const QString Unanswered = LoopbackAddress::Unanswered;

// One row of systemd's ListUnitsByNames: name, description, load, active and sub state,
// followed unit, object path, job id, job type, job path.
struct UnitRow {
    QString name, description, load, active, sub, following;
    QDBusObjectPath path;
    uint job = 0;
    QString jobType;
    QDBusObjectPath jobPath;
};

QDBusArgument &operator<<(QDBusArgument &argument, const UnitRow &unit)
{
    argument.beginStructure();
    argument << unit.name << unit.description << unit.load << unit.active << unit.sub << unit.following << unit.path
             << unit.job << unit.jobType << unit.jobPath;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, UnitRow &unit)
{
    argument.beginStructure();
    argument >> unit.name >> unit.description >> unit.load >> unit.active >> unit.sub >> unit.following >> unit.path
        >> unit.job >> unit.jobType >> unit.jobPath;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(UnitRow)

namespace {

// systemd's manager of a test's own, on a private bus that stands in for the system bus:
// it answers ListUnitsByNames, each unit active when it is one of those given, inactive
// otherwise. It answers from a thread of its own, since the program asks while this
// process waits for it.
class FakeSystemdManager : public QThread
{
public:
    FakeSystemdManager(QString address, QStringList active) : mAddress(std::move(address)), mActive(std::move(active)) { }
    ~FakeSystemdManager() override
    {
        quit();
        wait();
    }

    // Starts it; false when it could not take its name on the bus.
    bool begin()
    {
        qDBusRegisterMetaType<UnitRow>();
        qDBusRegisterMetaType<QList<UnitRow>>();
        start();
        mReady.acquire();
        return mListening;
    }

private:
    class Manager : public QDBusVirtualObject
    {
    public:
        explicit Manager(const QStringList &active) : mActive(active) { }
        QString introspect(const QString &) const override { return QString(); }
        bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
        {
            if (message.member() != QLatin1String("ListUnitsByNames") || message.signature() != QLatin1String("as"))
                return false;
            QList<UnitRow> rows;
            for (const QString &name : message.arguments().constFirst().toStringList()) {
                const bool active = mActive.contains(name);
                rows.append({ name, QString(), active ? QStringLiteral("loaded") : QStringLiteral("not-found"),
                              active ? QStringLiteral("active") : QStringLiteral("inactive"),
                              active ? QStringLiteral("running") : QStringLiteral("dead"), QString(),
                              QDBusObjectPath(QStringLiteral("/org/freedesktop/systemd1/unit/x")), 0, QString(),
                              QDBusObjectPath(QStringLiteral("/")) });
            }
            connection.send(message.createReply(QVariant::fromValue(rows)));
            return true;
        }

    private:
        QStringList mActive;
    };

    void run() override
    {
        {
            QDBusConnection bus = QDBusConnection::connectToBus(mAddress, QStringLiteral("fake-systemd"));
            Manager manager(mActive);
            mListening = bus.registerVirtualObject(QStringLiteral("/org/freedesktop/systemd1"), &manager)
                         && bus.registerService(QStringLiteral("org.freedesktop.systemd1"));
            mReady.release();
            if (mListening)
                exec();
            bus.unregisterObject(QStringLiteral("/org/freedesktop/systemd1"));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-systemd"));
    }

    QString mAddress;
    QStringList mActive;
    QSemaphore mReady;
    bool mListening = false;
};

bool setOwnerAndMode(const QString &path, uint account, mode_t mode)
{
    const QByteArray name = QFile::encodeName(path);
    return ::chown(name.constData(), account, account) == 0 && ::chmod(name.constData(), mode) == 0;
}

} // namespace

// The running copy and what later starts ask of it, with the real executable.
class TestControl : public QObject
{
    Q_OBJECT

    ProgramFixture mProgram;

    // The running copy's control socket, as this process names it.
    QString socketName() const
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(mProgram->runtimeFolder()));
        return controlSocketName(mProgram->dataFolder());
    }

    // What the copy answers to raw bytes; empty when it closes without an answer.
    QByteArray exchange(const QByteArray &bytes, int waitMs = AnswerWaitMs) const
    {
        QLocalSocket socket;
        socket.connectToServer(socketName());
        if (!socket.waitForConnected(AnswerWaitMs))
            return "(no connection)";
        socket.write(bytes);
        socket.flush();
        QByteArray answer;
        QDeadlineTimer deadline(waitMs);
        while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired())
            if (socket.waitForReadyRead(int(deadline.remainingTime())))
                answer += socket.readAll();
        answer += socket.readAll();
        return answer;
    }

    // The value of one line of --status ("Name:   value"); empty when there is no such line.
    static QByteArray statusValue(const QByteArray &status, const QByteArray &name)
    {
        for (const QByteArray &line : status.split('\n')) {
            if (line.startsWith(name + ':'))
                return line.mid(name.size() + 1).trimmed();
        }
        return {};
    }

    // Seconds in "in 11 s"; -1 for anything else.
    static int secondsOf(const QByteArray &value)
    {
        const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^in (\\d+) s$")).match(QString::fromLatin1(value));
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }

    static int openDescriptors(const QProcess &process)
    {
        return int(QDir(QStringLiteral("/proc/%1/fd").arg(process.processId())).entryList(QDir::NoDotAndDotDot | QDir::System).size());
    }

    std::unique_ptr<QProcess> startHeadless(const QStringList &servers = { Unanswered }, qint32 interval = 3)
    {
        if (!mProgram->writeDataFile(servers, interval))
            return nullptr;
        auto process = mProgram->start();
        if (!process || !mProgram->settled(*process))
            return nullptr;
        // Listening once the first state is told.
        QByteArray told;
        if (!TestProgram::waitForError(*process, told, "Looking for a time server...\n", AnswerWaitMs))
            return nullptr;
        return process;
    }

private slots:
    void initTestCase() { QVERIFY2(dropClockPrivilege(), "cannot give up the privilege to set the clock"); }

    void init() { QVERIFY(mProgram.renew()); }

    void cleanup() { mProgram.release(); }

    void commandsReachTheRunningCopy()
    {
        auto copy = startHeadless({ Unanswered, QStringLiteral("127.0.0.3") }, 2);
        QVERIFY(copy);

        TestProgram::Finished status = mProgram->run({ QStringLiteral("--status") });
        QVERIFY(status.ended);
        QCOMPARE(status.exitCode, 0);
        QCOMPARE(status.err, QByteArray());
        // The first attempt comes 11 s after the start, counted down a second at a time.
        const int next = secondsOf(statusValue(status.out, "Next attempt"));
        QVERIFY2(next >= 1 && next <= 11, status.out.constData());
        QCOMPARE(status.out, QByteArray("State:              Looking for a time server...\n"
                                        "Server:             none\n"
                                        "Last success:       never\n"
                                        "Correction:         none\n"
                                        "Next attempt:       in " + QByteArray::number(next) + " s\n"
                                        "Interval:           hour\n"
                                        "Paused:             no\n"
                                        "Active servers:     2 of 2\n"
                                        "May set the clock:  no (the clock helper is not installed)\n"
                                        "Serving port 37:    no\n"));

        // Without a display the copy has no window to open, for --show or a plain start,
        // with an activation token from the launcher or with one that a request cannot carry.
        QProcessEnvironment withToken = mProgram->environment();
        withToken.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), QStringLiteral("7f4c1b9e-0a2d-4e31"));
        QProcessEnvironment withBadToken = mProgram->environment();
        withBadToken.insert(QStringLiteral("DESKTOP_STARTUP_ID"), QStringLiteral("two words"));
        for (const QStringList &arguments : { QStringList { QStringLiteral("--show") }, QStringList {} }) {
            for (const QProcessEnvironment &env : { mProgram->environment(), withToken, withBadToken }) {
                const TestProgram::Finished shown = mProgram->run(arguments, TestProgram::EndTimeoutMs, env);
                QVERIFY(shown.ended);
                QCOMPARE(shown.exitCode, 0);
                QCOMPARE(shown.out, QByteArray());
                QCOMPARE(shown.err, QByteArray("Brindlecot is running without a display: it has no window to show.\n"));
            }
        }

        const TestProgram::Finished sync = mProgram->run({ QStringLiteral("--sync-now") });
        QVERIFY(sync.ended);
        QCOMPARE(sync.exitCode, 0);
        QCOMPARE(sync.out + sync.err, QByteArray());

        // --quit ends it as Exit does: the data file is written again.
        QVERIFY(QFile::remove(mProgram->dataFile()));
        const TestProgram::Finished quit = mProgram->run({ QStringLiteral("--quit") });
        QVERIFY(quit.ended);
        QCOMPARE(quit.exitCode, 0);
        QCOMPARE(quit.out + quit.err, QByteArray());
        QVERIFY(copy->waitForFinished(TestProgram::EndTimeoutMs));
        QCOMPARE(copy->exitCode(), 0);
        const TestProgram::Saved saved = mProgram->readDataFile();
        QVERIFY(saved.read);
        QCOMPARE(saved.Interval.code(), 2);
        QCOMPARE(saved.Hosts.count(), 2);
        QVERIFY(!QFile::exists(socketName())); // taken away at the end

        // No copy runs now.
        for (const char *command : { "--status", "--quit", "--sync-now", "--show" }) {
            const TestProgram::Finished none = mProgram->run({ QString::fromLatin1(command) });
            QVERIFY(none.ended);
            QCOMPARE(none.exitCode, 3);
            QCOMPARE(none.out, QByteArray());
            QCOMPARE(none.err, QByteArray("Brindlecot is not running.\n"));
        }
        const TestProgram::Finished both = mProgram->run({ QStringLiteral("--status"), QStringLiteral("--quit") });
        QCOMPARE(both.exitCode, 2);
        QCOMPARE(both.err, QByteArray("brindlecot: --quit and --status cannot be given together\n"));
    }

    // --pause, --resume and --interval as the menu's items: pausing stops the countdown,
    // and while paused what the menu disables is refused with a word on how to resume; a
    // new interval is saved at once.
    void pauseResumeAndInterval()
    {
        auto copy = startHeadless({ Unanswered }, 3);
        QVERIFY(copy);
        const auto run = [this](const char *argument, const char *value = nullptr) {
            QStringList arguments { QString::fromLatin1(argument) };
            if (value)
                arguments << QString::fromLatin1(value);
            return mProgram->run(arguments);
        };
        const QByteArray paused = "Synchronization is paused; resume it with `brindlecot --resume`.\n";

        TestProgram::Finished answer = run("--resume");
        QCOMPARE(answer.exitCode, 0);
        QCOMPARE(answer.err, QByteArray("Synchronization is not paused.\n"));

        answer = run("--pause");
        QCOMPARE(answer.exitCode, 0);
        QCOMPARE(answer.out + answer.err, QByteArray());
        QByteArray told;
        QVERIFY2(TestProgram::waitForError(*copy, told, "Time synchronization is paused\n", AnswerWaitMs), told.constData());
        const TestProgram::Finished status = run("--status");
        QCOMPARE(statusValue(status.out, "State"), QByteArray("Time synchronization is paused"));
        QCOMPARE(statusValue(status.out, "Paused"), QByteArray("yes"));
        QCOMPARE(statusValue(status.out, "Next attempt"), QByteArray("none while paused"));

        answer = run("--pause");
        QCOMPARE(answer.exitCode, 0);
        QCOMPARE(answer.err, QByteArray("Synchronization is paused already.\n"));
        for (const auto &[argument, value] : { std::pair { "--sync-now", (const char *)nullptr }, std::pair { "--interval", "hour" } }) {
            answer = run(argument, value);
            QCOMPARE(answer.exitCode, 1);
            QCOMPARE(answer.out, QByteArray());
            QCOMPARE(answer.err, paused);
        }
        QCOMPARE(mProgram->readDataFile().Interval.code(), 3); // the refused interval is not saved

        answer = run("--resume");
        QCOMPARE(answer.exitCode, 0);
        QCOMPARE(answer.out + answer.err, QByteArray());
        QVERIFY2(TestProgram::waitForError(*copy, told, "Looking for a time server...\n", AnswerWaitMs), told.constData());
        QCOMPARE(statusValue(run("--status").out, "Paused"), QByteArray("no"));

        answer = run("--interval", "minute");
        QCOMPARE(answer.exitCode, 0);
        QCOMPARE(answer.out + answer.err, QByteArray());
        const TestProgram::Saved saved = mProgram->readDataFile(); // saved before the answer
        QVERIFY(saved.read);
        QCOMPARE(saved.Interval.code(), 1);
        QCOMPARE(statusValue(run("--status").out, "Interval"), QByteArray("minute"));
        QCOMPARE(copy->state(), QProcess::Running);
        QVERIFY(TestProgram::terminate(*copy));
    }

    // After a restart --status names the last success that the server records keep, as the
    // Time Servers window does, not "never".
    void statusAfterARestartNamesTheLastSuccess()
    {
        IntervalChoice interval;
        interval.applyCode(2);
        clsHosts hosts;
        for (const QString &path : { Unanswered, QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.7") }) {
            auto host = std::make_shared<clsHost>();
            host->setHostPath(path);
            host->setHostActive(path == Unanswered ? 1 : 0);
            hosts.Add(host);
        }
        hosts.Item(2)->setHostName(QStringLiteral("the second"));
        hosts.Item(2)->setHostStatus(1);
        hosts.Item(2)->setHostPollDate(DateTime::fromParts(QDate(2026, 12, 9), QTime(8, 7, 6)));
        hosts.Item(2)->setHostSynchError(42);
        hosts.Item(3)->setHostStatus(1); // an older success of another server
        hosts.Item(3)->setHostPollDate(DateTime::fromParts(QDate(2026, 11, 30), QTime(23, 59, 59)));
        hosts.Item(3)->setHostSynchError(7);
        QVERIFY(QDir().mkpath(mProgram->dataFolder()));
        QVERIFY(SaveDataFile(mProgram->dataFolder(), interval, hosts));
        auto copy = mProgram->start();
        QVERIFY(copy && mProgram->settled(*copy));
        QByteArray told;
        QVERIFY(TestProgram::waitForError(*copy, told, "Looking for a time server...\n", AnswerWaitMs));

        const TestProgram::Finished status = mProgram->run({ QStringLiteral("--status") });
        QCOMPARE(status.exitCode, 0);
        QCOMPARE(statusValue(status.out, "Server"), QByteArray("127.0.0.3 (the second)"));
        QCOMPARE(statusValue(status.out, "Last success"), QByteArray("2026-12-09 08:07:06"));
        QCOMPARE(statusValue(status.out, "Correction"), QByteArray("42 s"));
        QCOMPARE(statusValue(status.out, "Active servers"), QByteArray("1 of 3"));
        QVERIFY(TestProgram::terminate(*copy));
    }

    // Another service that sets the clock is named once in the state lines and in --status;
    // where none runs nothing is said.
    void anotherTimeServiceIsNamed_data()
    {
        QTest::addColumn<QStringList>("active");
        QTest::addColumn<QByteArray>("named");
        QTest::newRow("systemd-timesyncd") << QStringList { QStringLiteral("systemd-timesyncd.service") }
                                           << QByteArray("systemd-timesyncd");
        QTest::newRow("chrony") << QStringList { QStringLiteral("chrony.service") } << QByteArray("chronyd");
        QTest::newRow("none") << QStringList {} << QByteArray();
    }

    void anotherTimeServiceIsNamed()
    {
        QFETCH(QStringList, active);
        QFETCH(QByteArray, named);
        if (!PrivateSessionBus::available())
            QSKIP("dbus-daemon is not installed");
        PrivateSessionBus bus;
        QString error;
        if (!bus.start(&error))
            QSKIP(qPrintable(error));
        FakeSystemdManager systemd(bus.address(), active);
        QVERIFY(systemd.begin());
        QProcessEnvironment env = mProgram->environment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus.address());

        QVERIFY(mProgram->writeDataFile({ Unanswered }));
        auto copy = mProgram->start({}, env);
        QVERIFY(copy && mProgram->settled(*copy));
        QByteArray told;
        QVERIFY2(TestProgram::waitForError(*copy, told, "Looking for a time server...\n", AnswerWaitMs), told.constData());
        const QByteArray line = "Another time service, " + named
                                + ", also sets this computer's clock; Brindlecot synchronizes it all the same.\n";
        QCOMPARE(told, (named.isEmpty() ? QByteArray() : line) + "Looking for a time server...\n");
        const TestProgram::Finished status = mProgram->run({ QStringLiteral("--status") }, TestProgram::EndTimeoutMs, env);
        QCOMPARE(status.exitCode, 0);
        QCOMPARE(statusValue(status.out, "Other time service"), named.isEmpty() ? QByteArray() : named + " also sets this clock");
        QVERIFY(TestProgram::terminate(*copy));
        QVERIFY(!copy->readAllStandardError().contains("Another time service")); // once
    }

    // --sync-now starts an attempt at once, not 11 s after the start.
    void syncNowAsksAServerAtOnce()
    {
        PortThirtySevenServer server;
        if (!server.listenOn(LoopbackAddress::Control))
            QSKIP("cannot listen on port 37 here (needs root or CAP_NET_BIND_SERVICE)");
        const QList<qint64> &asked = server.answers;
        const qint64 started = QDateTime::currentMSecsSinceEpoch();
        auto copy = startHeadless({ LoopbackAddress::Control.toString() });
        QVERIFY(copy);
        QVERIFY(asked.isEmpty());
        QCOMPARE(mProgram->run({ QStringLiteral("--sync-now") }).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!asked.isEmpty(), AnswerWaitMs);
        QVERIFY2(asked.first() - started < 8000, QByteArray::number(asked.first() - started));
        QByteArray told;
        QVERIFY(TestProgram::waitForError(*copy, told, "Synchronized on ", AnswerWaitMs));
        const TestProgram::Finished status = mProgram->run({ QStringLiteral("--status") });
        QCOMPARE(statusValue(status.out, "State"), QByteArray("Synchronized"));
        QCOMPARE(statusValue(status.out, "Server"), LoopbackAddress::Control.toString().toLatin1());
        QVERIFY2(QDateTime::fromString(QString::fromLatin1(statusValue(status.out, "Last success")), QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                     .isValid(),
                 status.out.constData());
        QVERIFY2(statusValue(status.out, "Correction").endsWith(" s"), status.out.constData());
        // Synchronized: the next attempt a day later.
        QVERIFY2(secondsOf(statusValue(status.out, "Next attempt")) > 86000, status.out.constData());

        // A new interval synchronizes at once, as the menu's choice does, and counts from then
        // (a minute, or the ten seconds of an attempt still under way).
        const qsizetype before = asked.size();
        QCOMPARE(mProgram->run({ QStringLiteral("--interval"), QStringLiteral("minute") }).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(asked.size() > before, AnswerWaitMs);
        const int next = secondsOf(statusValue(mProgram->run({ QStringLiteral("--status") }).out, "Next attempt"));
        QVERIFY2(next >= 1 && next <= 61, QByteArray::number(next));
        QVERIFY(TestProgram::terminate(*copy));
    }

    void malformedRequestsChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer"); // empty: closed without one
        QTest::newRow("unknown") << QByteArray("reboot\n") << QByteArray("2\nunknown request\n");
        QTest::newRow("binary") << QByteArray("\xff\x00\x01\n", 4) << QByteArray("2\nunknown request\n");
        QTest::newRow("too long") << QByteArray(Control::MaxRequestBytes + 10, 'q') << QByteArray("2\nrequest too long\n");
        QTest::newRow("a known word and more") << QByteArray("quit now\n") << QByteArray("2\nunknown request\n");
        QTest::newRow("no end of line in time") << QByteArray("quit") << QByteArray();
        QTest::newRow("nothing in time") << QByteArray() << QByteArray();
    }

    void malformedRequestsChangeNothing()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        auto copy = startHeadless();
        QVERIFY(copy);
        QElapsedTimer waited;
        waited.start();
        QCOMPARE(exchange(request, Control::RequestTimeoutMs + AnswerWaitMs), answer);
        if (answer.isEmpty()) // dropped when its time was up, not at once, not never
            QVERIFY2(waited.elapsed() >= Control::RequestTimeoutMs - 100, QByteArray::number(waited.elapsed()));
        QCOMPARE(copy->state(), QProcess::Running);
        QCOMPARE(mProgram->run({ QStringLiteral("--status") }).exitCode, 0);
        QVERIFY(TestProgram::terminate(*copy));
    }

    // A flood of connections, some silent, some with garbage, some with a request: the copy
    // answers the next request at once and holds no more descriptors than before.
    void aFloodLeavesNothingBehind()
    {
        auto copy = startHeadless();
        QVERIFY(copy);
        const int before = openDescriptors(*copy);
        QVERIFY(before > 0);
        const QString name = socketName();
        int made = 0;
        int connected = 0;
        while (made < FloodConnections) {
            std::vector<std::unique_ptr<QLocalSocket>> wave;
            for (int i = 0; i < FloodWave; ++i, ++made) {
                auto socket = std::make_unique<QLocalSocket>();
                socket->connectToServer(name);
                // The system's queue of the listening socket may be full: refused at once.
                if (!socket->waitForConnected(AnswerWaitMs))
                    continue;
                ++connected;
                if (made % 3 == 1)
                    socket->write("status\n");
                else if (made % 3 == 2)
                    socket->write(QByteArray(64, 'x'));
                socket->flush();
                wave.push_back(std::move(socket));
            }
            QTest::qWait(20);
        }
        QVERIFY2(connected >= FloodConnections / 2, QByteArray::number(connected));
        QCOMPARE(copy->state(), QProcess::Running);
        const TestProgram::Finished status = mProgram->run({ QStringLiteral("--status") });
        QCOMPARE(status.exitCode, 0);
        QVERIFY(status.out.startsWith("State: "));
        // Every connection of the flood is closed by now, or by its time limit.
        QTRY_COMPARE_WITH_TIMEOUT(openDescriptors(*copy), before, Control::RequestTimeoutMs + AnswerWaitMs);
        QVERIFY(TestProgram::terminate(*copy));
    }

    // A copy that crashed leaves its socket behind: the next copy replaces it.
    void aStaleSocketIsReplaced()
    {
        auto crashed = startHeadless();
        QVERIFY(crashed);
        ::kill(pid_t(crashed->processId()), SIGKILL);
        QVERIFY(crashed->waitForFinished(TestProgram::EndTimeoutMs));
        QVERIFY(QFile::exists(socketName()));
        QCOMPARE(mProgram->run({ QStringLiteral("--status") }).exitCode, 3);

        auto copy = startHeadless();
        QVERIFY(copy);
        const TestProgram::Finished status = mProgram->run({ QStringLiteral("--status") });
        QCOMPARE(status.exitCode, 0);
        QVERIFY(status.out.startsWith("State: "));
        QVERIFY(TestProgram::terminate(*copy));
    }

    // Even where another account can reach the socket (its folder and the socket opened to
    // all here, and a link to it in that account's own runtime folder), the copy answers it
    // nothing: its --quit ends nothing.
    void anotherAccountIsRefused()
    {
        if (const QString why = OtherAccount::unavailable(); !why.isEmpty())
            QSKIP(qPrintable(why));
        auto copy = startHeadless();
        QVERIFY(copy);
        const QString socket = socketName(); // named while the runtime folder is still 0700
        for (const QString &path : { mProgram->home(), mProgram->runtimeFolder(), mProgram->dataFolder() })
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                                    | QFile::ExeOther));
        QVERIFY(QFile::setPermissions(socket, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther));
        const QString otherRuntime = mProgram->home() + QStringLiteral("/other-run");
        QVERIFY(QDir().mkpath(otherRuntime));
        QVERIFY(setOwnerAndMode(otherRuntime, OtherAccount::Nobody, 0700));
        QVERIFY(QFile::link(socket, otherRuntime + QLatin1Char('/') + QFileInfo(socket).fileName()));

        QProcessEnvironment env = mProgram->environment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), otherRuntime);
        const TestProgram::Finished other
            = TestProgram(QStandardPaths::findExecutable(QStringLiteral("setpriv")))
                  .run(OtherAccount::as(OtherAccount::Nobody).mid(1) + QStringList { mProgram->executable(), QStringLiteral("--quit") },
                       TestProgram::EndTimeoutMs * 2, env);
        QVERIFY(other.ended);
        QCOMPARE(other.out, QByteArray());
        // It may not even look at the lock (0600) to see whether a copy runs.
        QCOMPARE(other.err, QByteArray("Brindlecot is not running.\n"));
        QCOMPARE(other.exitCode, 3);
        QCOMPARE(copy->state(), QProcess::Running);
        QVERIFY(QFile::setPermissions(mProgram->runtimeFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(mProgram->run({ QStringLiteral("--status") }).exitCode, 0);
        QVERIFY(TestProgram::terminate(*copy));
    }

    // Another account holds a shared lock on the lock file, through a descriptor it opened
    // while an earlier version left the folder and the lock readable to all. The copy starts
    // anyway, says why in one line, and later starts find it as before.
    void anotherAccountsLockDoesNotStopTheCopy()
    {
        if (const QString why = OtherAccount::unavailable(); !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(mProgram->writeDataFile({ Unanswered }));
        QFile lock(mProgram->lockFile());
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.close();
        QVERIFY(setOwnerAndMode(mProgram->dataFolder(), ::geteuid(), 0755));
        QVERIFY(setOwnerAndMode(mProgram->lockFile(), ::geteuid(), 0644));
        const auto other = OtherAccount::holdSharedLock(mProgram->lockFile(), OtherAccount::Nobody);
        QVERIFY(other);

        auto copy = mProgram->start();
        QVERIFY(copy && mProgram->settled(*copy));
        QByteArray told;
        QVERIFY2(TestProgram::waitForError(*copy, told, "Looking for a time server...\n", AnswerWaitMs), told.constData());
        QCOMPARE(told, QByteArray("brindlecot: Brindlecot.lock is held by user ID 65534, not by a copy of this account; "
                                  "starting anyway with a new lock.\n"
                                  "Looking for a time server...\n"));
        QCOMPARE(QFileInfo(mProgram->dataFolder()).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        QCOMPARE(QFileInfo(mProgram->lockFile()).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser);

        const TestProgram::Finished second = mProgram->run({});
        QVERIFY(second.ended);
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(second.err, QByteArray("Brindlecot is running without a display: it has no window to show.\n"));
        QCOMPARE(mProgram->run({ QStringLiteral("--status") }).exitCode, 0);
        QCOMPARE(other->process->state(), QProcess::Running); // it held on throughout
        QVERIFY(TestProgram::terminate(*copy));
    }

    // XDG_RUNTIME_DIR names a folder that every account may write (/tmp, as some su, sudo
    // and container set-ups leave it), where another account listens at the socket's name
    // first. The copy keeps its socket in its data folder instead and says so; later starts
    // look there too, and the other account hears nothing.
    void aSharedRuntimeFolderIsNotUsed()
    {
        if (const QString why = OtherAccount::unavailable(); !why.isEmpty())
            QSKIP(qPrintable(why));
        QTemporaryDir shared;
        QVERIFY(shared.isValid());
        QVERIFY(setOwnerAndMode(shared.path(), 0, 01777));
        const QString squatted = shared.filePath(QFileInfo(socketName()).fileName());
        const auto other = OtherAccount::listen(squatted, OtherAccount::Nobody, "0\nState: all is well\n");
        QVERIFY(other);
        QProcessEnvironment env = mProgram->environment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), shared.path());

        QVERIFY(mProgram->writeDataFile({ Unanswered }));
        auto copy = mProgram->start({}, env);
        QVERIFY(copy);
        QByteArray told;
        QVERIFY2(TestProgram::waitForError(*copy, told, "Looking for a time server...\n", TestProgram::StartTimeoutMs),
                 told.constData());
        QCOMPARE(told, QByteArray("brindlecot: XDG_RUNTIME_DIR=" + QFile::encodeName(shared.path())
                                  + " is not used for the control socket (mode 1777, not 0700); it is in the data folder "
                                    "instead.\n"
                                    "Looking for a time server...\n"));
        const TestProgram::Finished status = mProgram->run({ QStringLiteral("--status") }, TestProgram::EndTimeoutMs, env);
        QCOMPARE(status.exitCode, 0);
        QCOMPARE(statusValue(status.out, "State"), QByteArray("Looking for a time server..."));
        const TestProgram::Finished quit = mProgram->run({ QStringLiteral("--quit") }, TestProgram::EndTimeoutMs, env);
        QCOMPARE(quit.exitCode, 0);
        QVERIFY(copy->waitForFinished(TestProgram::EndTimeoutMs));
        QCOMPARE(other->told(), QByteArray("listening\n"));
    }

    // A later start believes only a copy of its own account (or root's) at the socket: a
    // listener of another account, even in this account's own runtime folder, is not sent
    // the request, and its answer is not printed. What a believed copy answers is printed
    // without its control characters.
    void onlyThisAccountsCopyIsBelieved_data()
    {
        QTest::addColumn<uint>("listener");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("heard");
        QTest::newRow("another account") << OtherAccount::Stranger << 3 << QByteArray() << QByteArray("listening\nconnection\n");
        QTest::newRow("this account, escape sequences") << OtherAccount::Nobody << 0 << QByteArray("[2J]0;ownedState: [31mred[0m\tok\n")
                                                        << QByteArray("listening\nconnection\nrequest: status\n");
    }

    void onlyThisAccountsCopyIsBelieved()
    {
        QFETCH(uint, listener);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, heard);
        if (const QString why = OtherAccount::unavailable(); !why.isEmpty())
            QSKIP(qPrintable(why));
        // The later start runs as nobody, with a runtime folder and a data home of its own.
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QVERIFY(setOwnerAndMode(root.path(), 0, 0755));
        const QString runtime = root.filePath(QStringLiteral("run"));
        const QString data = root.filePath(QStringLiteral("data"));
        const QString listenerFolder = root.filePath(QStringLiteral("listener"));
        for (const QString &folder : { runtime, data, listenerFolder })
            QVERIFY(QDir().mkpath(folder));
        QVERIFY(setOwnerAndMode(runtime, OtherAccount::Nobody, 0700));
        QVERIFY(setOwnerAndMode(data, OtherAccount::Nobody, 0700));
        QVERIFY(setOwnerAndMode(listenerFolder, listener, 0700));
        // The listener binds in its own folder; its socket is then moved to the name that
        // the later start looks for (as root may: no other account could put it there).
        const auto other = OtherAccount::listen(listenerFolder + QStringLiteral("/s"), listener,
                                                "0\n\x1b[2J\x1b]0;owned\x07State: \x1b[31mred\x1b[0m\r\b\t\u009bok\n");
        QVERIFY(other);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(mProgram->runtimeFolder()));
        const QString name = runtime + QLatin1Char('/') + QFileInfo(controlSocketName(data + QStringLiteral("/Brindlecot/"))).fileName();
        QVERIFY(QFile::rename(listenerFolder + QStringLiteral("/s"), name));

        QProcessEnvironment env = mProgram->environment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("XDG_DATA_HOME"), data);
        const TestProgram::Finished status
            = TestProgram(QStandardPaths::findExecutable(QStringLiteral("setpriv")))
                  .run(OtherAccount::as(OtherAccount::Nobody).mid(1) + QStringList { mProgram->executable(), QStringLiteral("--status") },
                       TestProgram::EndTimeoutMs * 2, env);
        QVERIFY(status.ended);
        QCOMPARE(status.exitCode, exitCode);
        QCOMPARE(status.out, out);
        QCOMPARE(status.err, exitCode == 3 ? QByteArray("Brindlecot is not running.\n") : QByteArray());
        QTRY_COMPARE_WITH_TIMEOUT(other->told(), heard, AnswerWaitMs);
    }

    // On a desktop (here without a notification area), a second start opens the running
    // copy's Time Servers window, and a third brings it to the front instead of a second.
    void aSecondStartOpensTheWindow()
    {
        TrayDesktop desktop;
        if (!desktop.startForTest(TrayDesktop::tools()))
            return;
        QVERIFY(mProgram->writeDataFile({ Unanswered }));
        const QProcessEnvironment env = mProgram->environment(desktop.display());
        auto copy = mProgram->start({}, env);
        QVERIFY(copy && mProgram->settled(*copy));
        QByteArray told;
        QVERIFY(TestProgram::waitForError(*copy, told, "Looking for a time server...\n", AnswerWaitMs));
        QVERIFY(desktop.windows(QStringLiteral("brindlecot")).isEmpty());

        for (int start = 0; start < 2; ++start) {
            const TestProgram::Finished second = mProgram->run({}, TestProgram::EndTimeoutMs, env);
            QVERIFY(second.ended);
            QCOMPARE(second.exitCode, 0);
            QCOMPARE(second.out + second.err, QByteArray());
            QVERIFY(desktop.waitForWindows(QStringLiteral("brindlecot"), 1, AnswerWaitMs));
        }
        QTest::qWait(500);
        QCOMPARE(desktop.windows(QStringLiteral("brindlecot")).size(), 1);
        const QImage shot = desktop.screenshot();
        if (!shot.isNull())
            shot.save(QDir::currentPath() + QStringLiteral("/second-start.png"));

        // The window is open, so --sync-now is refused as "Synchronize Now" is, and --status
        // still answers.
        const TestProgram::Finished sync = mProgram->run({ QStringLiteral("--sync-now") }, TestProgram::EndTimeoutMs, env);
        QCOMPARE(sync.exitCode, 1);
        QCOMPARE(sync.err, QByteArray("The Time Servers window is open; Brindlecot synchronizes when it closes.\n"));
        // So are the other commands that the menu disables meanwhile.
        for (const QStringList &arguments : { QStringList { QStringLiteral("--pause") },
                                              QStringList { QStringLiteral("--interval"), QStringLiteral("day") } }) {
            const TestProgram::Finished refused = mProgram->run(arguments, TestProgram::EndTimeoutMs, env);
            QCOMPARE(refused.exitCode, 1);
            QCOMPARE(refused.err, QByteArray("The Time Servers window is open; close it first.\n"));
        }
        const TestProgram::Finished status = mProgram->run({ QStringLiteral("--status") }, TestProgram::EndTimeoutMs, env);
        QCOMPARE(statusValue(status.out, "Next attempt"), QByteArray("when the Time Servers window closes"));
        QCOMPARE(statusValue(status.out, "Paused"), QByteArray("no"));
        QVERIFY(TestProgram::terminate(*copy));
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestControl)
#include "tst_control.moc"
