#include "sync/TimeServer.h"

#include "FreePort.h"
#include "TestState.h"
#include "TestMain.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

constexpr int WaitLimit = 10000; // milliseconds for anything on loopback

const QByteArray ExampleAnswer = QByteArray::fromHex("c3a57fcd"); // 2004-01-06 18:41:17 UTC

// A server on 127.0.0.1 with a fake clock at 2004-01-06 13:41:17 in a zone five hours west
// (bias 300 minutes), which is 18:41:17 UTC.
struct Fixture : TestState {
    explicit Fixture(quint16 port = 0) : TestState(300), server(state, port, QHostAddress::LocalHost) { }

    TimeServer server;
};

// One caller, driven by the same event loop as the server. It never closes by itself, so
// a connection that ends was ended by the server (or refused).
struct Caller {
    explicit Caller(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }

    // Connects before returning without running the event loop: the caller then sits in
    // the system's listen queue until the server takes it.
    static std::unique_ptr<Caller> connected(quint16 port)
    {
        auto caller = std::make_unique<Caller>(port);
        if (!caller->socket.waitForConnected(WaitLimit))
            return nullptr;
        return caller;
    }

    bool ended() const { return socket.state() == QAbstractSocket::UnconnectedState; }

    QTcpSocket socket;
    QByteArray received;
};

using Callers = std::vector<std::unique_ptr<Caller>>;

bool allEnded(const Callers &callers)
{
    return std::all_of(callers.begin(), callers.end(), [](const auto &c) { return c->ended(); });
}


} // namespace

class TestTimeServer : public QObject
{
    Q_OBJECT

private slots:
    void answersOneCaller_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<int>("bias");
        QTest::addColumn<bool>("biasReadable");
        QTest::addColumn<QByteArray>("callerSays");
        QTest::addColumn<QByteArray>("expected"); // empty: closed without an answer

        const QDate day(2004, 1, 6);
        QTest::newRow("five hours west") << day << QTime(13, 41, 17) << 300 << true << QByteArray() << ExampleAnswer;
        QTest::newRow("one hour east") << day << QTime(19, 41, 17) << -60 << true << QByteArray() << ExampleAnswer;
        QTest::newRow("last second four bytes hold")
            << QDate(2036, 2, 7) << QTime(6, 28, 15) << 0 << true << QByteArray() << QByteArray::fromHex("ffffffff");
        QTest::newRow("one second later: nothing to send")
            << QDate(2036, 2, 7) << QTime(6, 28, 16) << 0 << true << QByteArray() << QByteArray();
        // The answer is universal time: a time zone that cannot be read silences nothing.
        QTest::newRow("bias unreadable: answered all the same")
            << day << QTime(13, 41, 17) << 300 << false << QByteArray() << ExampleAnswer;
        QTest::newRow("caller sends a line") << day << QTime(13, 41, 17) << 300 << true
                                             << QByteArray("what time is it?\r\n") << ExampleAnswer;
        QTest::newRow("caller sends 64 KiB") << day << QTime(13, 41, 17) << 300 << true
                                             << QByteArray(64 * 1024, 'x') << ExampleAnswer;
    }

    // The answer is the four bytes and then the server's close; with nothing to send the
    // connection still ends at once, and the next caller is served as usual.
    void answersOneCaller()
    {
        QFETCH(QDate, day);
        QFETCH(QTime, time);
        QFETCH(int, bias);
        QFETCH(bool, biasReadable);
        QFETCH(QByteArray, callerSays);
        QFETCH(QByteArray, expected);

        Fixture f;
        f.clock.current = DateTime::fromParts(day, time);
        f.clock.zoneBias = bias;
        f.zone.bias = bias;
        f.zone.readable = biasReadable;
        f.server.tmrServer_Timer();
        QCOMPARE(f.server.State(), qint16(SocketControl::sckListening));

        // What the caller says is already with the server's system when it is taken.
        auto caller = Caller::connected(f.server.LocalPort());
        QVERIFY(caller);
        caller->socket.write(callerSays);
        while (caller->socket.bytesToWrite() > 0)
            QVERIFY(caller->socket.waitForBytesWritten(WaitLimit));
        QTRY_VERIFY_WITH_TIMEOUT(caller->ended(), WaitLimit);
        QCOMPARE(caller->received, expected);
        QCOMPARE(caller->socket.error(), QAbstractSocket::RemoteHostClosedError);

        f.clock.current = DateTime::fromParts(QDate(2004, 1, 6), QTime(13, 41, 17));
        f.clock.zoneBias = 300;
        f.zone.bias = 300;
        f.zone.readable = true;
        Caller next(f.server.LocalPort());
        QTRY_VERIFY_WITH_TIMEOUT(next.ended(), WaitLimit);
        QCOMPARE(next.received, ExampleAnswer);
        QCOMPARE(f.server.State(), qint16(SocketControl::sckListening));
    }

    void listensFromTheFirstTickAndRetriesAfterAFailure()
    {
        const quint16 port = freeLoopbackPort();
        QVERIFY(port != 0);
        Fixture f(port);

        QCOMPARE(f.server.State(), qint16(SocketControl::sckClosed));
        Caller early(port);
        QTRY_VERIFY_WITH_TIMEOUT(early.ended(), WaitLimit);
        QCOMPARE(early.socket.error(), QAbstractSocket::ConnectionRefusedError);

        {
            QTcpServer holder;
            QVERIFY(holder.listen(QHostAddress::LocalHost, port));
            f.server.tmrServer_Timer();
            QCOMPARE(f.server.State(), qint16(SocketControl::sckClosed));
        }

        f.server.tmrServer_Timer();
        QCOMPARE(f.server.State(), qint16(SocketControl::sckListening));
        QCOMPARE(f.server.LocalPort(), port);
        Caller caller(port);
        QTRY_VERIFY_WITH_TIMEOUT(caller.ended(), WaitLimit);
        QCOMPARE(caller.received, ExampleAnswer);
    }

    void anAcceptFailureClosesAndTheNextTickListensAgain()
    {
#ifdef Q_OS_WIN
        QSKIP("runs the process out of descriptors with setrlimit, which Windows lacks");
#else
        const quint16 port = freeLoopbackPort();
        QVERIFY(port != 0);
        Fixture f(port);
        f.server.tmrServer_Timer();
        QCOMPARE(f.server.State(), qint16(SocketControl::sckListening));
        auto waiting = Caller::connected(port);
        QVERIFY(waiting);

        // No descriptor left for the server to take the caller with: every number below
        // the lowest free one is in use.
        const int lowestFree = ::dup(0);
        QVERIFY(lowestFree >= 0);
        ::close(lowestFree);
        rlimit saved {};
        QVERIFY(getrlimit(RLIMIT_NOFILE, &saved) == 0);
        rlimit low = saved;
        low.rlim_cur = rlim_t(lowestFree);
        QVERIFY(setrlimit(RLIMIT_NOFILE, &low) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(f.server.State(), qint16(SocketControl::sckClosed), WaitLimit);
        QVERIFY(setrlimit(RLIMIT_NOFILE, &saved) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(waiting->ended(), WaitLimit); // the closed listener let it go

        f.server.tmrServer_Timer();
        QCOMPARE(f.server.State(), qint16(SocketControl::sckListening));
        Caller caller(port);
        QTRY_VERIFY_WITH_TIMEOUT(caller.ended(), WaitLimit);
        QCOMPARE(caller.received, ExampleAnswer);
#endif
    }

    void answersEveryCallerOfABurst_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("two") << 2;
        QTest::newRow("eight") << 8;
        QTest::newRow("forty") << 40;
    }

    // Callers that arrive while another is served wait their turn in the system's listen
    // queue; none is refused or cut short.
    void answersEveryCallerOfABurst()
    {
        QFETCH(int, count);
        Fixture f;
        f.server.tmrServer_Timer();
        const quint16 port = f.server.LocalPort();

        Callers callers;
        for (int i = 0; i < count; ++i) {
            callers.push_back(Caller::connected(port));
            QVERIFY(callers.back());
        }
        QTRY_VERIFY_WITH_TIMEOUT(allEnded(callers), WaitLimit);
        for (const auto &caller : callers) {
            QCOMPARE(caller->received, ExampleAnswer);
            QCOMPARE(caller->socket.error(), QAbstractSocket::RemoteHostClosedError);
        }
        QCOMPARE(f.server.State(), qint16(SocketControl::sckListening));
    }

    void callerThatLeavesEarlyHoldsUpNobody_data()
    {
        QTest::addColumn<bool>("abort");
        QTest::newRow("caller resets") << true;
        QTest::newRow("caller closes") << false;
    }

    void callerThatLeavesEarlyHoldsUpNobody()
    {
        QFETCH(bool, abort);
        Fixture f;
        f.server.tmrServer_Timer();
        auto leaver = Caller::connected(f.server.LocalPort());
        QVERIFY(leaver);
        if (abort)
            leaver->socket.abort();
        else
            leaver->socket.disconnectFromHost();
        auto stayer = Caller::connected(f.server.LocalPort());
        QVERIFY(stayer);

        QTRY_VERIFY_WITH_TIMEOUT(stayer->ended(), WaitLimit);
        QCOMPARE(stayer->received, ExampleAnswer);
        QCOMPARE(f.server.State(), qint16(SocketControl::sckListening));
    }

    // Shutdown ends everything at once: callers still in the system's listen queue are
    // turned away rather than left hanging, and nobody can connect afterwards.
    void closeEndsEverything()
    {
        Fixture f;
        f.server.tmrServer_Timer();
        const quint16 port = f.server.LocalPort();
        Caller served(port);
        QTRY_VERIFY_WITH_TIMEOUT(served.ended(), WaitLimit);
        QCOMPARE(served.received, ExampleAnswer);

        Callers queued;
        for (int i = 0; i < 3; ++i) {
            queued.push_back(Caller::connected(port));
            QVERIFY(queued.back());
        }
        f.server.Close();
        QCOMPARE(f.server.State(), qint16(SocketControl::sckClosed));
#ifdef Q_OS_WIN
        QEXPECT_FAIL("", "under Wine the callers still queued when the listener closes are not ended", Abort);
#endif
        QTRY_VERIFY_WITH_TIMEOUT(allEnded(queued), WaitLimit);

        Caller after(port);
        QTRY_VERIFY_WITH_TIMEOUT(after.ended(), WaitLimit);
        QCOMPARE(after.socket.error(), QAbstractSocket::ConnectionRefusedError);
    }

    // Debian's rdate, an RFC 868 client written elsewhere, reads the fake clock's time.
    void rdateReadsTheTime()
    {
#ifdef Q_OS_WIN
        QSKIP("Debian's rdate is a Linux program, which a Windows program under Wine cannot start");
#endif
        const QString rdate = QStandardPaths::findExecutable(
            QStringLiteral("rdate"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                                      QStringLiteral("/sbin"), QStringLiteral("/bin")});
        QVERIFY2(!rdate.isEmpty(), "rdate is not installed (apt-get install rdate)");

        Fixture f;
        f.server.tmrServer_Timer();

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        // -p prints the server's time and leaves this machine's clock alone.
        process.start(rdate, {QStringLiteral("-p"), QStringLiteral("-o"), QString::number(f.server.LocalPort()),
                              QStringLiteral("127.0.0.1")});
        QVERIFY2(process.waitForStarted(WaitLimit), qPrintable(process.errorString()));
        // The server answers on this thread's event loop, so wait by running it.
        QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, WaitLimit);
        const QString output = QString::fromLocal8Bit(process.readAll()).simplified();
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(output, QStringLiteral("Tue Jan 6 18:41:17 UTC 2004"));
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestTimeServer)
#include "tst_timeserver.moc"
