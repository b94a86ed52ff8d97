#include "ClockPrivilege.h"
#include "PortThirtySevenServer.h"
#include "TestProgram.h"
#include "TrayDesktop.h"
#include "app/ControlProtocol.h"
#include "platform/ControlAccess.h"
#include "sync/TimeProtocol.h"

#include <QDateTime>
#include <QDir>
#include <QLocalSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

constexpr int AnswerWaitMs = 3000;  // milliseconds
constexpr int FloodConnections = 1000;
constexpr int FloodWave = 100;      // connections open at once
const QString Unanswered = LoopbackAddress::Unanswered;

} // namespace

// The running copy and what later starts ask of it, with the real executable.
class TestControl : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestProgram> mProgram;

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

    void init()
    {
        mProgram = std::make_unique<TestProgram>();
        QVERIFY(mProgram->isValid());
    }

    void cleanup() { mProgram.reset(); }

    void commandsReachTheRunningCopy()
    {
        auto copy = startHeadless({ Unanswered, QStringLiteral("127.0.0.3") }, 2);
        QVERIFY(copy);

        TestProgram::Finished status = mProgram->run({ QStringLiteral("--status") });
        QVERIFY(status.ended);
        QCOMPARE(status.exitCode, 0);
        QCOMPARE(status.err, QByteArray());
        QCOMPARE(status.out, QByteArray("State: Looking for a time server...\n"
                                        "Last synchronized: never\n"
                                        "Interval: hour\n"
                                        "Paused: no\n"
                                        "Active servers: 2 of 2\n"
                                        "Serving port 37: no\n"));

        // Without a display the copy has no window to open, for --show or a plain start.
        for (const QStringList &arguments : { QStringList { QStringLiteral("--show") }, QStringList {} }) {
            const TestProgram::Finished shown = mProgram->run(arguments);
            QVERIFY(shown.ended);
            QCOMPARE(shown.exitCode, 0);
            QCOMPARE(shown.out, QByteArray());
            QCOMPARE(shown.err, QByteArray("Brindlecot is running without a display: it has no window to show.\n"));
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
        QVERIFY2(status.out.startsWith("State: Synchronized on ") && !status.out.contains("never"), status.out.constData());
        QVERIFY(TestProgram::terminate(*copy));
    }

    void malformedRequestsChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer"); // empty: closed without one
        QTest::newRow("unknown") << QByteArray("reboot\n") << QByteArray("2\nunknown request\n");
        QTest::newRow("binary") << QByteArray("\xff\x00\x01\n", 4) << QByteArray("2\nunknown request\n");
        QTest::newRow("too long") << QByteArray(200, 'q') << QByteArray("2\nrequest too long\n");
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
    // all here), the copy answers it nothing.
    void anotherAccountIsRefused()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to run a command as another account");
        auto copy = startHeadless();
        QVERIFY(copy);
        for (const QString &path : { mProgram->home(), mProgram->runtimeFolder(), mProgram->dataFolder() })
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                                    | QFile::ExeOther));
        QVERIFY(QFile::setPermissions(socketName(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther));

        QProcess other;
        other.setProcessEnvironment(mProgram->environment());
        other.start(QStringLiteral("setpriv"),
                    { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                      QStringLiteral("--bounding-set"), QStringLiteral("-sys_time,-net_bind_service"), QStringLiteral("--"),
                      mProgram->executable(), QStringLiteral("--quit") });
        QVERIFY(other.waitForFinished(TestProgram::EndTimeoutMs * 2));
        QCOMPARE(other.readAllStandardOutput(), QByteArray());
        QCOMPARE(other.readAllStandardError(), QByteArray("Brindlecot is running but does not answer.\n"));
        QCOMPARE(other.exitCode(), 1);
        QCOMPARE(copy->state(), QProcess::Running);
        QCOMPARE(mProgram->run({ QStringLiteral("--status") }).exitCode, 0);
        QVERIFY(TestProgram::terminate(*copy));
    }

    // On a desktop (here without a notification area), a second start opens the running
    // copy's Time Servers window, and a third brings it to the front instead of a second.
    void aSecondStartOpensTheWindow()
    {
        if (!TrayDesktop::missingTools().isEmpty())
            QSKIP(qPrintable(QStringLiteral("missing: ") + TrayDesktop::missingTools().join(QLatin1Char(' '))));
        TrayDesktop desktop;
        QString error;
        if (!desktop.startDisplay(&error))
            QSKIP(qPrintable(error));
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
        QCOMPARE(mProgram->run({ QStringLiteral("--status") }, TestProgram::EndTimeoutMs, env).exitCode, 0);
        QVERIFY(TestProgram::terminate(*copy));
    }
};

QTEST_GUILESS_MAIN(TestControl)
#include "tst_control.moc"
