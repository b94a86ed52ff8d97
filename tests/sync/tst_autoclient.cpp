#include "sync/AutoClient.h"

#include "ScriptedNameServer.h"
#include "ScriptedTimeServer.h"
#include "TestState.h"
#include "sync/AnswerRule.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <cerrno>

#include <memory>

namespace {

constexpr int EventWait = 5000;    // milliseconds, bound of every wait for a socket event
constexpr qint32 ZoneBias = 300;   // minutes: five hours west, so a client that ignores it is refused
constexpr qint32 Hourly = 3600;    // seconds
// How far a setting may lie from the one expected, in milliseconds: the server's accept
// and our connected event may come in either order, and a busy machine runs the hold's
// timer and the arrival late.
constexpr qint64 SettingEarly = 10;
constexpr qint64 SettingLate = 100;
const QDate StartDay(2004, 1, 6);
const QTime StartTime(13, 41, 17);
const QString Earlier = QStringLiteral("earlier message");
const Date EarlierPoll = DateTime::fromParts(QDate(2003, 12, 24), QTime(8, 0, 0));
const Date EarlierSynch = DateTime::fromParts(QDate(2004, 1, 5), QTime(9, 30, 0));

// The four bytes a server sends when its time is `offset` seconds after local `start`.
QByteArray answerAt(qint64 offset, QTime start = StartTime)
{
    const Date serverTime = DateTime::fromSerialSeconds(*DateTime::toSerialSeconds(DateTime::fromParts(StartDay, start)) + offset);
    return TimeProtocol::encode(*LocalToTimeValue(serverTime, ZoneBias));
}

// One program's state with fake clock and zone, one server record "127.0.0.1" that holds
// an earlier success, and the client under test.
struct Rig : TestState {
    explicit Rig(quint16 port, QTime start = StartTime)
        : TestState(ZoneBias, DateTime::fromParts(StartDay, start))
        , client(state, port, nullptr, 20040106u)
    {
        state.Interval = IntervalChoice{false, true, false}; // hourly
        state.TrayAlertMessage = Earlier;
        state.LastSynchDate = EarlierSynch;
        record = addHost(QStringLiteral("127.0.0.1"), 1, HostStatus::Failed, EarlierPoll, 77);
        record->setHostName(QStringLiteral("loopback"));
    }

    void tick(int times)
    {
        for (int i = 0; i < times; ++i)
            client.tmrClient_Timer();
    }

    bool connected() const { return client.tcpClient().State() != SocketControl::sckClosed; }

    AutoClient client;
    std::shared_ptr<clsHost> record;
};

} // namespace

class TestAutoClient : public QObject
{
    Q_OBJECT

    enum Peer { Replies, RepliesAndHolds, ClosesAtOnce, Silent, Refuses, NoActiveServer };

    std::unique_ptr<ScriptedNameServer> mNames; // this process's name server, slow on demand
    int mLookups = 0;                           // names looked up so far

private slots:
    void initTestCase()
    {
        // Before the first lookup of the process.
        mNames = std::make_unique<ScriptedNameServer>();
    }

    void outcome_data()
    {
        QTest::addColumn<int>("peer");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QTime>("start");
        QTest::addColumn<bool>("biasReadable");
        QTest::addColumn<int>("clockRefusal"); // errno the clock seam returns
        QTest::addColumn<qint16>("alert");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("clockCalls");
        QTest::addColumn<int>("recordedError"); // -1: record and LastSynchDate left alone

        using namespace TrayAlert; // the alert column
        const QString error9 = QStringLiteral("Error (9) when time received from server");
        const QStringList none;
        auto set = [](const char *day, const char *time) {
            return QStringList{QStringLiteral("set %1T%2").arg(QLatin1String(day), QLatin1String(time))};
        };

        // Valid answers.
        QTest::newRow("on time") << int(Replies) << answerAt(0) << StartTime << true << 0 << Synchronized << Earlier
                                 << Hourly << none << 0;
        QTest::newRow("1 s off: left alone") << int(Replies) << answerAt(-1) << StartTime << true << 0 << Synchronized
                                             << Earlier << Hourly << none << 1;
        QTest::newRow("2 s slow: set") << int(Replies) << answerAt(2) << StartTime << true << 0 << Synchronized
                                       << Earlier << Hourly << set("2004-01-06", "13:41:19") << 2;
        QTest::newRow("2 s fast: set") << int(Replies) << answerAt(-2) << StartTime << true << 0 << Synchronized
                                       << Earlier << Hourly << set("2004-01-06", "13:41:15") << 2;
        QTest::newRow("1799 s slow: set") << int(Replies) << answerAt(1799) << StartTime << true << 0 << Synchronized
                                          << Earlier << Hourly << set("2004-01-06", "14:11:16") << 1799;
        QTest::newRow("1799 s fast: set") << int(Replies) << answerAt(-1799) << StartTime << true << 0 << Synchronized
                                          << Earlier << Hourly << set("2004-01-06", "13:11:18") << 1799;
        QTest::newRow("server past midnight: date from the server") << int(Replies) << answerAt(3, QTime(23, 59, 59))
                                                                    << QTime(23, 59, 59) << true << 0 << Synchronized
                                                                    << Earlier << Hourly
                                                                    << set("2004-01-07", "00:00:02") << 3;
        QTest::newRow("five bytes: first four count") << int(Replies) << answerAt(2) + QByteArray("\x7f", 1)
                                                      << StartTime << true << 0 << Synchronized << Earlier << Hourly
                                                      << set("2004-01-06", "13:41:19") << 2;
        QTest::newRow("refusing clock not needed at 1 s") << int(Replies) << answerAt(1) << StartTime << true << 1
                                                          << Synchronized << Earlier << Hourly << none << 1;

        // Answers that are not believed or cannot be used.
        QTest::newRow("1800 s slow: refused") << int(Replies) << answerAt(1800) << StartTime << true << 0 << TooFarOff
                                              << Earlier << 10 << none << -1;
        QTest::newRow("1800 s fast: refused") << int(Replies) << answerAt(-1800) << StartTime << true << 0 << TooFarOff
                                              << Earlier << 10 << none << -1;
        QTest::newRow("1900: not computable") << int(Replies) << QByteArray(4, '\0') << StartTime << true << 0
                                              << TooFarOff << Earlier << 10 << none << -1;
        QTest::newRow("three bytes") << int(RepliesAndHolds) << answerAt(2).left(3) << StartTime << true << 0 << Failed
                                     << error9 << 10 << none << -1;
        QTest::newRow("bias unreadable") << int(Replies) << answerAt(2) << StartTime << false << 0 << Failed
                                         << QStringLiteral("Could not find local time zone") << 10 << none << -1;
        QTest::newRow("clock refuses (EPERM)") << int(Replies) << answerAt(5) << StartTime << true << 1 << Failed
                                               << QStringLiteral("Error (1) when time received from server") << 10
                                               << set("2004-01-06", "13:41:22") << -1;

        // No answer at all: still looking, the countdown tries again on the 11th tick.
        QTest::newRow("closes without data") << int(ClosesAtOnce) << QByteArray() << StartTime << true << 0 << Looking
                                             << Earlier << 10 << none << -1;
        QTest::newRow("connection refused") << int(Refuses) << QByteArray() << StartTime << true << 0 << Looking
                                            << Earlier << 10 << none << -1;
        QTest::newRow("no answer") << int(Silent) << QByteArray() << StartTime << true << 0 << Looking << Earlier << 10
                                   << none << -1;
        QTest::newRow("no active server") << int(NoActiveServer) << QByteArray() << StartTime << true << 0 << Looking
                                          << Earlier << 10 << none << -1;
    }

    void outcome()
    {
        QFETCH(int, peer);
        QFETCH(QByteArray, reply);
        QFETCH(QTime, start);
        QFETCH(bool, biasReadable);
        QFETCH(int, clockRefusal);
        QFETCH(qint16, alert);
        QFETCH(QString, message);
        QFETCH(int, limit);
        QFETCH(QStringList, clockCalls);
        QFETCH(int, recordedError);

        const ScriptedTimeServer::Mode mode = peer == Replies           ? ScriptedTimeServer::Reply
                                          : peer == RepliesAndHolds ? ScriptedTimeServer::ReplyAndHold
                                          : peer == ClosesAtOnce    ? ScriptedTimeServer::CloseAtOnce
                                                                    : ScriptedTimeServer::Silent;
        ScriptedTimeServer server(mode, reply);
        Rig rig(peer == Refuses ? freeLoopbackPort() : server.port(), start);
        rig.zone.readable = biasReadable;
        rig.clock.failWith = clockRefusal;
        if (peer == NoActiveServer)
            rig.record->setHostActive(0);
        rig.state.TrayAlert = TrayAlert::Synchronized;
        rig.state.pollLimit = Hourly;

        QSignalSpy arrivals(&rig.client.tcpClient(), &SocketControl::DataArrival);
        QSignalSpy closes(&rig.client.tcpClient(), &SocketControl::CloseEvent);
        QSignalSpy errors(&rig.client.tcpClient(), &SocketControl::Error);
        rig.client.SynchronizeNow();
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Looking);
        QCOMPARE(rig.state.pollLimit, 10);

        switch (peer) {
        case Replies:
        case RepliesAndHolds:
            QVERIFY(arrivals.wait(EventWait));
            QCOMPARE(arrivals.size(), 1);
            break;
        case ClosesAtOnce:
            QVERIFY(closes.wait(EventWait));
            break;
        case Refuses:
            QVERIFY(errors.wait(EventWait));
            break;
        case Silent:
            QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 1, EventWait);
            QTRY_COMPARE_WITH_TIMEOUT(rig.client.tcpClient().State(), qint16(SocketControl::sckConnected), EventWait);
            break;
        case NoActiveServer:
            break;
        }

        QCOMPARE(rig.state.TrayAlert, alert);
        QCOMPARE(rig.state.TrayAlertMessage, message);
        QCOMPARE(rig.state.pollLimit, limit);
        QCOMPARE(rig.clock.calls, clockCalls);
        // The setting takes the bias that the server's local time was computed with, and
        // puts the clock half a second and half the round trip after the server's second.
        QCOMPARE(rig.clock.biases, QList<qint32>(clockCalls.size(), rig.zone.bias));
        for (const qint64 after : std::as_const(rig.clock.afterTargets))
            QVERIFY2(after >= 500 && after <= 500 + EventWait / 2, QByteArray::number(after));
        if (recordedError >= 0) {
            QCOMPARE(rig.record->HostStatus(), HostStatus::Succeeded);
            QCOMPARE(rig.record->HostSynchError(), recordedError);
            QCOMPARE(rig.record->HostPollDate(), rig.clock.now()); // read after the clock was set
            QCOMPARE(rig.state.LastSynchDate, rig.clock.now());
        } else {
            QCOMPARE(rig.record->HostStatus(), HostStatus::Failed);
            QCOMPARE(rig.record->HostSynchError(), 77);
            QCOMPARE(rig.record->HostPollDate(), EarlierPoll);
            QCOMPARE(rig.state.LastSynchDate, EarlierSynch);
        }

        // The client closes the connection after the first block, whatever it held; a
        // silent server keeps it open until the countdown gives up.
        QCOMPARE(rig.connected(), peer == Silent);
        if (peer == RepliesAndHolds)
            QTRY_COMPARE_WITH_TIMEOUT(server.connections.first()->state(), QAbstractSocket::UnconnectedState, EventWait);
        if (peer == NoActiveServer) {
            QCoreApplication::processEvents();
            QCOMPARE(server.connections.size(), 0);
        }
    }

    void anAddressRefusedAtOnceFailsAfterTheStartHasEnded()
    {
        // The system refuses a multicast address within the connect call; its error must
        // not run inside StartSynchronization.
        Rig rig(freeLoopbackPort());
        rig.record->setHostPath(QStringLiteral("224.0.0.1"));
        QSignalSpy errors(&rig.client.tcpClient(), &SocketControl::Error);
        rig.client.SynchronizeNow();
        QCOMPARE(errors.size(), 0);
        QVERIFY(rig.connected());
        QVERIFY(errors.wait(EventWait));
        QVERIFY(!rig.connected());
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Looking);
        QCOMPARE(rig.state.pollLimit, 10);
    }

    void aRefusedSettingLeavesTheClockUnchanged()
    {
        // A correction across midnight that the system refuses: an error, and the clock
        // keeps its old date and time; nothing was set halfway.
        ScriptedTimeServer server(ScriptedTimeServer::Reply, answerAt(3, QTime(23, 59, 59)));
        Rig rig(server.port(), QTime(23, 59, 59));
        rig.clock.failWith = EPERM;
        QSignalSpy arrivals(&rig.client.tcpClient(), &SocketControl::DataArrival);
        rig.client.SynchronizeNow();
        QVERIFY(arrivals.wait(EventWait));
        QCOMPARE(rig.clock.calls, (QStringList { u"set 2004-01-07T00:00:02"_qs }));
        QCOMPARE(rig.clock.now(), DateTime::fromParts(QDate(2004, 1, 6), QTime(23, 59, 59)));
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Failed);
        QCOMPARE(rig.state.TrayAlertMessage, QStringLiteral("Error (1) when time received from server"));
        QCOMPARE(rig.state.pollLimit, 10);
        QCOMPARE(rig.record->HostStatus(), HostStatus::Failed);
        QCOMPARE(rig.state.LastSynchDate, EarlierSynch);
    }

    // The clock goes half a second past the value, and half of the round trip from the
    // connected event to the answer: a slow host-name lookup counts for nothing, an answer
    // held after the server took the connection counts half, and one held over a second
    // is too stale to centre and counts nothing.
    void theSettingCentresOnTheRoundTripFromTheConnection_data()
    {
        QTest::addColumn<int>("lookup");   // milliseconds the name server takes; 0: an address, no lookup
        QTest::addColumn<int>("held");     // milliseconds from the accept to the answer
        QTest::addColumn<int>("centring"); // milliseconds expected past the value's half second
        QTest::newRow("a slow lookup: nothing") << 1500 << 0 << 0;
        QTest::newRow("an answer held 0.6 s: half of it") << 0 << 600 << 300;
        QTest::newRow("a slow lookup, an answer held 0.6 s: half the hold") << 1500 << 600 << 300;
        QTest::newRow("an answer held 1.2 s: too stale, nothing") << 0 << 1200 << 0;
    }

    void theSettingCentresOnTheRoundTripFromTheConnection()
    {
        QFETCH(int, lookup);
        QFETCH(int, held);
        QFETCH(int, centring);
        if (lookup > 0 && !mNames->failure().isEmpty())
            QSKIP(qPrintable(mNames->failure()));
        ScriptedTimeServer server(ScriptedTimeServer::Reply, answerAt(5), held);
        Rig rig(server.port());
        if (lookup > 0) {
            mNames->hold = lookup;
            // A name of its own each time: Qt keeps what it looked up.
            rig.record->setHostPath(QStringLiteral("lookup%1.brindlecot.test").arg(++mLookups));
        }
        const int questions = mNames->questions;
        QSignalSpy arrivals(&rig.client.tcpClient(), &SocketControl::DataArrival);
        QElapsedTimer attempt;
        attempt.start();
        rig.client.SynchronizeNow();
        QVERIFY(arrivals.wait(EventWait));
        QVERIFY(attempt.elapsed() >= lookup + held - SettingEarly); // the lookup and the hold took their time
        QCOMPARE(mNames->questions > questions, lookup > 0);

        QCOMPARE(rig.clock.targets.size(), 1);
        const qint64 ahead = rig.clock.firstSettingPast(TimeValueToLocal(*TimeProtocol::decode(answerAt(5)), ZoneBias));
        const qint64 expected = AnswerRule::HalfSecond + centring;
        QVERIFY2(ahead >= expected - SettingEarly && ahead <= expected + SettingLate,
                 qPrintable(QStringLiteral("%1 ms past the value, %2 expected").arg(ahead).arg(expected)));
        QCOMPARE(rig.record->HostSynchError(), 5); // the whole-second error, as measured
    }

    void aLateAnswerOfAnAbandonedAttemptIsIgnored()
    {
        ScriptedTimeServer server; // silent until told
        Rig rig(server.port());
        rig.client.SynchronizeNow();
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 1, EventWait);
        rig.tick(11); // the 11th tick gives up and connects anew
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 2, EventWait);
        QTRY_COMPARE_WITH_TIMEOUT(rig.client.tcpClient().State(), qint16(SocketControl::sckConnected), EventWait);

        // The first connection answers now, 100 s off; nobody is listening to it any more.
        ScriptedTimeServer::send(server.connections.at(0), answerAt(100), false);
        QTest::qWait(200);
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Looking);
        QCOMPARE(rig.clock.calls, QStringList());
        QVERIFY(rig.connected());

        // The second one's answer is handled.
        QSignalSpy arrivals(&rig.client.tcpClient(), &SocketControl::DataArrival);
        ScriptedTimeServer::send(server.connections.at(1), answerAt(5), true);
        QVERIFY(arrivals.wait(EventWait));
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Synchronized);
        QCOMPARE(rig.record->HostSynchError(), 5);
    }

    // Paused while an attempt waits for its answer: the answer still counts (record and
    // clock), but the icon goes on showing the pause, whatever the outcome, and no attempt
    // follows.
    void pausedDuringAnAttemptKeepsShowingThePause_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<qint16>("status"); // the record's status afterwards
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("success, clock set") << answerAt(5) << HostStatus::Succeeded
                                            << QStringList { QStringLiteral("set 2004-01-06T13:41:22") };
        QTest::newRow("30 minutes off") << answerAt(4000) << HostStatus::Failed << QStringList();
        QTest::newRow("error: three bytes") << answerAt(5).left(3) << HostStatus::Failed << QStringList();
    }

    void pausedDuringAnAttemptKeepsShowingThePause()
    {
        QFETCH(QByteArray, reply);
        QFETCH(qint16, status);
        QFETCH(QStringList, calls);
        ScriptedTimeServer server;
        Rig rig(server.port());
        rig.client.SynchronizeNow();
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 1, EventWait);
        rig.state.PauseChecked = true; // what the menu's Pause does
        rig.state.TrayAlert = TrayAlert::Paused;

        QSignalSpy arrivals(&rig.client.tcpClient(), &SocketControl::DataArrival);
        // Held open: the three bytes are the whole first arrival.
        ScriptedTimeServer::send(server.connections.first(), reply, false);
        QVERIFY(arrivals.wait(EventWait));
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Paused);
        QCOMPARE(rig.record->HostStatus(), status);
        QCOMPARE(rig.clock.calls, calls);
        QVERIFY(!rig.connected());
        rig.state.pollTicks = rig.state.pollLimit;
        rig.tick(1);
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Paused);
        QVERIFY(!rig.connected());
        QCoreApplication::processEvents();
        QCOMPARE(server.connections.size(), 1);
    }

    void successWhenTheRecordWasDeleted()
    {
        ScriptedTimeServer server;
        Rig rig(server.port());
        rig.client.SynchronizeNow();
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 1, EventWait);
        QVERIFY(rig.state.Hosts.Remove(1));

        QSignalSpy arrivals(&rig.client.tcpClient(), &SocketControl::DataArrival);
        ScriptedTimeServer::send(server.connections.first(), answerAt(5), true);
        QVERIFY(arrivals.wait(EventWait));
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Synchronized);
        QCOMPARE(rig.state.pollLimit, Hourly);
        QCOMPARE(rig.state.LastSynchDate, rig.clock.now());
        QCOMPARE(rig.state.Hosts.count(), 0);
        QCOMPARE(rig.record->HostStatus(), HostStatus::Failed);
    }

    // Attempts start on the 11th tick; one that gets no answer is abandoned by the next,
    // which draws a server anew. SynchronizeNow leaves the count alone.
    void countdownAndTimeOut()
    {
        ScriptedTimeServer server;
        Rig rig(server.port());

        rig.tick(10);
        QCOMPARE(rig.state.pollTicks, 10);
        QVERIFY(!rig.connected());
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Looking);

        rig.tick(1);
        QCOMPARE(rig.state.pollTicks, 0);
        QVERIFY(rig.connected());
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 1, EventWait);

        rig.tick(10);
        QVERIFY(rig.connected());
        QCOMPARE(server.connections.size(), 1);
        QCOMPARE(server.connections.at(0)->state(), QAbstractSocket::ConnectedState);

        rig.tick(1);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 2, EventWait);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.at(0)->state(), QAbstractSocket::UnconnectedState, EventWait);

        rig.state.pollTicks = 7;
        rig.client.SynchronizeNow();
        QCOMPARE(rig.state.pollTicks, 7);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 3, EventWait);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.at(1)->state(), QAbstractSocket::UnconnectedState, EventWait);
        rig.tick(3);
        QCOMPARE(server.connections.size(), 3);
        rig.tick(1);
        QCOMPARE(rig.state.pollTicks, 0);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 4, EventWait);

        // Synchronize Now with the count at 10 or more (here 100 s after a success) leaves
        // its attempt one tick: the next starts another, which abandons it...
        rig.state.pollLimit = Hourly;
        rig.state.pollTicks = 100;
        rig.client.SynchronizeNow();
        QCOMPARE(rig.state.pollLimit, 10);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 5, EventWait);
        rig.tick(1);
        QCOMPARE(rig.state.pollTicks, 0);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 6, EventWait);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.at(4)->state(), QAbstractSocket::UnconnectedState, EventWait);
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Looking);

        // ...unless its answer came first: that has put the interval back.
        rig.state.pollTicks = 100;
        rig.client.SynchronizeNow();
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 7, EventWait);
        QSignalSpy arrivals(&rig.client.tcpClient(), &SocketControl::DataArrival);
        ScriptedTimeServer::send(server.connections.at(6), answerAt(0), true);
        QVERIFY(arrivals.wait(EventWait));
        QCOMPARE(rig.state.pollLimit, Hourly);
        rig.tick(1);
        QCOMPARE(rig.state.pollTicks, 101);
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Synchronized);
        QVERIFY(!rig.connected());
        QCoreApplication::processEvents();
        QCOMPARE(server.connections.size(), 7);
    }

    // After a success the wait is the interval, counted from the tick that started the
    // attempt, not from the answer.
    void nextAttemptAfterSuccessWaitsForTheInterval()
    {
        ScriptedTimeServer server;
        Rig rig(server.port());
        rig.tick(11);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 1, EventWait);

        rig.tick(3); // the answer comes three seconds late
        QSignalSpy arrivals(&rig.client.tcpClient(), &SocketControl::DataArrival);
        ScriptedTimeServer::send(server.connections.first(), answerAt(0), true);
        QVERIFY(arrivals.wait(EventWait));
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Synchronized);
        QCOMPARE(rig.state.pollLimit, Hourly);
        QCOMPARE(rig.state.pollTicks, 3);

        rig.tick(Hourly - 3);
        QVERIFY(!rig.connected());
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Synchronized);
        rig.tick(1); // tick 3601 after the start of the successful attempt
        QVERIFY(rig.connected());
        QCOMPARE(rig.state.TrayAlert, TrayAlert::Looking);
        QCOMPARE(rig.state.pollLimit, 10);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 2, EventWait);
    }

    void pausedOrWindowOpenStartsNothing_data()
    {
        QTest::addColumn<bool>("paused");
        QTest::addColumn<qint16>("hostsShowing");
        QTest::newRow("paused") << true << WindowShowing::Closed;
        QTest::newRow("Time Servers window open") << false << WindowShowing::Open;
    }

    void pausedOrWindowOpenStartsNothing()
    {
        QFETCH(bool, paused);
        QFETCH(qint16, hostsShowing);
        ScriptedTimeServer server;
        Rig rig(server.port());
        rig.state.PauseChecked = paused;
        rig.state.HostsShowing = hostsShowing;
        rig.state.TrayAlert = paused ? TrayAlert::Paused : TrayAlert::Synchronized;
        rig.state.pollLimit = Hourly;

        rig.client.SynchronizeNow();
        rig.state.pollTicks = Hourly;
        rig.tick(1);
        QCOMPARE(rig.state.pollTicks, 0); // the countdown itself runs on
        QCOMPARE(rig.state.TrayAlert, paused ? TrayAlert::Paused : TrayAlert::Synchronized);
        QCOMPARE(rig.state.pollLimit, Hourly);
        QVERIFY(!rig.connected());
        QCoreApplication::processEvents();
        QCOMPARE(server.connections.size(), 0);
    }

    void chooseServer_data()
    {
        QTest::addColumn<QList<int>>("activeFlags"); // HostActive of h1, h2, ...
        QTest::addColumn<QStringList>("candidates");
        QTest::newRow("empty list") << QList<int>{} << QStringList{QString()};
        QTest::newRow("none active") << QList<int>{0, 0, 0} << QStringList{QString()};
        QTest::newRow("one active among many") << QList<int>{0, 0, 0, 1, 0} << QStringList{"h4"};
        QTest::newRow("only 1 means active") << QList<int>{2, -1, 1} << QStringList{"h3"};
        QTest::newRow("two of five") << QList<int>{1, 0, 0, 0, 1} << QStringList{"h1", "h5"};
        QTest::newRow("all active") << QList<int>{1, 1, 1} << QStringList{"h1", "h2", "h3"};
    }

    void chooseServer()
    {
        QFETCH(QList<int>, activeFlags);
        QFETCH(QStringList, candidates);
        TestState rig;
        for (int i = 0; i < activeFlags.size(); ++i)
            rig.addHost(QStringLiteral("h%1").arg(i + 1), qint16(activeFlags.at(i)));
        AutoClient client(rig.state, 0, nullptr, 7u);

        constexpr int Draws = 600;
        QHash<QString, int> seen;
        for (int i = 0; i < Draws; ++i) {
            const QString chosen = client.ChooseServer();
            QVERIFY2(candidates.contains(chosen), qPrintable(chosen));
            ++seen[chosen];
        }
        // Every active server is about equally likely.
        for (const QString &candidate : candidates) {
            const int expected = Draws / int(candidates.size());
            QVERIFY2(seen.value(candidate) > expected * 7 / 10 && seen.value(candidate) < expected * 13 / 10,
                     qPrintable(QStringLiteral("%1 drawn %2 times").arg(candidate).arg(seen.value(candidate))));
        }
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestAutoClient)
#include "tst_autoclient.moc"
