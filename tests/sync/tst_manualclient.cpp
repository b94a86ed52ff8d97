#include "sync/ManualClient.h"

#include "ScriptedNameServer.h"
#include "ScriptedTimeServer.h"
#include "TestState.h"
#include "sync/AnswerRule.h"
#include "TestMain.h"

#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int SocketEventWait = 5000;   // milliseconds, bound of every wait for a socket event
constexpr qint32 ManualZoneBias = 300;  // minutes
const QString Host = QStringLiteral("127.0.0.1");
const Date Start = DateTime::fromParts(QDate(2004, 1, 6), QTime(13, 41, 17));
const Date PreviousPoll = DateTime::fromParts(QDate(2003, 12, 24), QTime(8, 0, 0));
const Date PreviousSynch = DateTime::fromParts(QDate(2004, 1, 5), QTime(9, 30, 0));

// The four bytes of a server whose time is `offset` seconds after the start.
QByteArray manualAnswerAt(qint64 offset)
{
    return TimeProtocol::encode(*LocalToTimeValue(DateTime::fromSerialSeconds(*DateTime::toSerialSeconds(Start) + offset), ManualZoneBias));
}

// One program's state with a record of 127.0.0.1 that holds an earlier success, a tray
// state and countdown that the manual client must leave alone, and the client.
struct ManualRig : TestState {
    explicit ManualRig(quint16 port) : TestState(ManualZoneBias, Start), client(state, port)
    {
        state.TrayAlert = TrayAlert::Failed;
        state.TrayAlertMessage = QStringLiteral("earlier message");
        state.pollLimit = 3600;
        state.pollTicks = 17;
        state.LastSynchDate = PreviousSynch;
        record = addHost(Host, 0, HostStatus::Succeeded, PreviousPoll, 77);
    }

    bool trayUntouched() const
    {
        return state.TrayAlert == TrayAlert::Failed && state.TrayAlertMessage == QStringLiteral("earlier message") && state.pollLimit == 3600
               && state.pollTicks == 17;
    }

    ManualClient client;
    std::shared_ptr<clsHost> record;
};

ManualOutcome outcomeOf(const QSignalSpy &finished)
{
    return finished.first().first().value<ManualOutcome>();
}

} // namespace

class TestManualClient : public QObject
{
    Q_OBJECT

    enum Peer { Replies, RepliesAndHolds, ClosesAtOnce, Refuses };
    enum Bold { Unchanged, NotBold, IsBold };

    std::unique_ptr<ScriptedNameServer> mNames; // this process's name server, slow on demand

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
        QTest::addColumn<bool>("biasReadable");
        QTest::addColumn<int>("clockRefusal"); // errno the clock seam returns
        QTest::addColumn<bool>("inList");      // the record is still in the list
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("bold");
        QTest::addColumn<QString>("status");   // a prefix of the status text
        QTest::addColumn<QStringList>("clockCalls");
        QTest::addColumn<int>("recordedError"); // -1: no success recorded

        const QStringList none;
        const int ok = ManualOutcome::Succeeded;
        const int failed = ManualOutcome::Failed;
        const QString success = QStringLiteral("Successfully synchronized with 127.0.0.1");

        QTest::newRow("on time") << int(Replies) << manualAnswerAt(0) << true << 0 << true << ok << int(Unchanged) << success << none << 0;
        QTest::newRow("1 s off: left alone") << int(Replies) << manualAnswerAt(1) << true << 0 << true << ok << int(Unchanged) << success
                                             << none << 1;
        QTest::newRow("2 s slow: set") << int(Replies) << manualAnswerAt(2) << true << 0 << true << ok << int(Unchanged) << success
                                       << QStringList{QStringLiteral("set 2004-01-06T13:41:19")} << 2;
        QTest::newRow("1799 s fast: set") << int(Replies) << manualAnswerAt(-1799) << true << 0 << true << ok << int(Unchanged) << success
                                          << QStringList{QStringLiteral("set 2004-01-06T13:11:18")}
                                          << 1799;
        QTest::newRow("five bytes: first four count") << int(Replies) << manualAnswerAt(0) + QByteArray("\x7f", 1) << true << 0 << true
                                                      << ok << int(Unchanged) << success << none << 0;
        QTest::newRow("record deleted meanwhile") << int(Replies) << manualAnswerAt(0) << true << 0 << false << ok << int(Unchanged)
                                                  << success << none << -1;

        QTest::newRow("45 minutes off: invalid time, bold")
            << int(Replies) << manualAnswerAt(2700) << true << 0 << true << failed << int(IsBold)
            << QStringLiteral("Error: invalid time received from 127.0.0.1") << none << -1;
        QTest::newRow("1800 s fast: invalid time") << int(Replies) << manualAnswerAt(-1800) << true << 0 << true << failed << int(IsBold)
                                                   << QStringLiteral("Error: invalid time received from 127.0.0.1") << none << -1;
        QTest::newRow("1900: invalid response") << int(Replies) << QByteArray(4, '\0') << true << 0 << true << failed << int(NotBold)
                                                << QStringLiteral("Error: invalid response received from 127.0.0.1") << none << -1;
        QTest::newRow("bias unreadable") << int(Replies) << manualAnswerAt(5) << false << 0 << true << failed << int(NotBold)
                                         << QStringLiteral("Error: could not find local time zone") << none << -1;
        QTest::newRow("three bytes") << int(RepliesAndHolds) << manualAnswerAt(5).left(3) << true << 0 << true << failed << int(NotBold)
                                     << QStringLiteral("Error: incomplete response received from 127.0.0.1") << none << -1;
        QTest::newRow("clock refuses") << int(Replies) << manualAnswerAt(5) << true << 1 << true << failed << int(NotBold)
                                       << QStringLiteral("Error: the clock could not be set (") << QStringList{QStringLiteral("set 2004-01-06T13:41:22")}
                                       << -1;
        QTest::newRow("closes without an answer") << int(ClosesAtOnce) << QByteArray() << true << 0 << true << failed
                                                  << int(Unchanged) << QStringLiteral("Error: no response received from 127.0.0.1")
                                                  << none << -1;
        QTest::newRow("connection refused") << int(Refuses) << QByteArray() << true << 0 << true << failed << int(Unchanged)
                                            << QString() << none << -1;
    }

    void outcome()
    {
        QFETCH(int, peer);
        QFETCH(QByteArray, reply);
        QFETCH(bool, biasReadable);
        QFETCH(int, clockRefusal);
        QFETCH(bool, inList);
        QFETCH(int, result);
        QFETCH(int, bold);
        QFETCH(QString, status);
        QFETCH(QStringList, clockCalls);
        QFETCH(int, recordedError);

        const auto mode = peer == Replies           ? ScriptedTimeServer::Reply
                          : peer == RepliesAndHolds ? ScriptedTimeServer::ReplyAndHold
                                                    : ScriptedTimeServer::CloseAtOnce;
        ScriptedTimeServer server(mode, reply);
        QVERIFY(server.listening());
        ManualRig rig(peer == Refuses ? freeLoopbackPort() : server.port());
        rig.zone.readable = biasReadable;
        rig.clock.failWith = clockRefusal;
        if (!inList)
            rig.state.Hosts.Remove(1);

        QSignalSpy waiting(&rig.client, &ManualClient::Waiting);
        QSignalSpy finished(&rig.client, &ManualClient::Finished);
        rig.client.Start(Host);
        QVERIFY(rig.client.busy());
        QCOMPARE(waiting.size(), 1);
        QCOMPARE(waiting.first().first().toString(), QStringLiteral("Waiting for response from 127.0.0.1..."));
        QVERIFY(finished.wait(SocketEventWait));
        QTest::qWait(50); // a late second event would show here
        QCOMPARE(finished.size(), 1);

        const ManualOutcome outcome = outcomeOf(finished);
        QCOMPARE(int(outcome.result), result);
        QCOMPARE(outcome.host, Host);
        QCOMPARE(outcome.bold.has_value(), bold != Unchanged);
        if (outcome.bold)
            QCOMPARE(*outcome.bold, bold == IsBold);
        QVERIFY2(outcome.statusText.startsWith(status), qPrintable(outcome.statusText));
        QVERIFY(!outcome.statusText.isEmpty());
        QCOMPARE(rig.clock.calls, clockCalls);
        // Half a second and half the round trip after the server's second.
        for (const qint64 after : std::as_const(rig.clock.afterTargets))
            QVERIFY2(after >= 500 && after <= 500 + SocketEventWait / 2, QByteArray::number(after));
        QVERIFY(!rig.client.busy());
        QCOMPARE(rig.client.tcpClient().State(), qint16(SocketControl::sckClosed));
        QVERIFY(rig.trayUntouched());

        if (result == ManualOutcome::Succeeded) {
            QCOMPARE(rig.state.LastSynchDate, rig.clock.now());
            if (recordedError >= 0) {
                QCOMPARE(rig.record->HostStatus(), HostStatus::Succeeded);
                QCOMPARE(rig.record->HostPollDate(), rig.clock.now());
                QCOMPARE(rig.record->HostSynchError(), recordedError);
            }
        } else {
            QCOMPARE(rig.state.LastSynchDate, PreviousSynch);
            QCOMPARE(rig.record->HostStatus(), HostStatus::Failed);
            QCOMPARE(rig.record->HostPollDate(), PreviousPoll);
            QCOMPARE(rig.record->HostSynchError(), 77);
        }
        if (peer != Refuses)
            QTRY_COMPARE_WITH_TIMEOUT(server.ended(), 1, SocketEventWait);
    }

    // The clock goes half a second and half the round trip past the value, the round trip
    // counted from the connected event: the time the name took to look up counts nothing.
    void theSettingCentresOnTheRoundTripFromTheConnection()
    {
        if (!mNames->failure().isEmpty())
            QSKIP(qPrintable(mNames->failure()));
        constexpr int Lookup = 1500; // milliseconds
        constexpr int Held = 600;    // milliseconds from the accept to the answer
        mNames->hold = Lookup;
        const QString name = QStringLiteral("manual.brindlecot.test");
        ScriptedTimeServer server(ScriptedTimeServer::Reply, manualAnswerAt(5), Held);
        ManualRig rig(server.port());
        rig.record->setHostPath(name);
        QSignalSpy finished(&rig.client, &ManualClient::Finished);
        rig.client.Start(name);
        QVERIFY(finished.wait(SocketEventWait));
        QCOMPARE(int(outcomeOf(finished).result), int(ManualOutcome::Succeeded));
        QVERIFY(mNames->questions > 0);

        // Beside the half second, half the hold, give or take what a busy machine adds
        // (milliseconds); from the start of the attempt it would be 1,050 ms.
        constexpr qint64 Early = 10;
        constexpr qint64 Late = 100;
        const qint64 ahead = rig.clock.firstSettingPast(DateTime::fromSerialSeconds(*DateTime::toSerialSeconds(Start) + 5));
        QVERIFY2(ahead >= AnswerRule::HalfSecond + Held / 2 - Early && ahead <= AnswerRule::HalfSecond + Held / 2 + Late,
                 QByteArray::number(ahead));
        QCOMPARE(rig.record->HostSynchError(), 5);
    }

    // The server accepts and never answers: giving up ends the attempt as failed and
    // closes the connection; abandoning it ends it without a word.
    void silentServer_data()
    {
        QTest::addColumn<bool>("giveUp");
        QTest::newRow("given up") << true;
        QTest::newRow("abandoned") << false;
    }

    void silentServer()
    {
        QFETCH(bool, giveUp);
        ScriptedTimeServer server(ScriptedTimeServer::Silent);
        ManualRig rig(server.port());
        QSignalSpy finished(&rig.client, &ManualClient::Finished);
        rig.client.Start(Host);
        QTRY_COMPARE_WITH_TIMEOUT(rig.client.tcpClient().State(), qint16(SocketControl::sckConnected), SocketEventWait);

        if (giveUp)
            rig.client.GiveUp();
        else
            rig.client.Abandon();
        QVERIFY(!rig.client.busy());
        QCOMPARE(rig.client.tcpClient().State(), qint16(SocketControl::sckClosed));
        QTRY_COMPARE_WITH_TIMEOUT(server.ended(), 1, SocketEventWait);
        QCOMPARE(finished.size(), giveUp ? 1 : 0);
        if (giveUp) {
            const ManualOutcome outcome = outcomeOf(finished);
            QCOMPARE(int(outcome.result), int(ManualOutcome::Failed));
            QCOMPARE(outcome.statusText, QStringLiteral("Error: no response received from 127.0.0.1"));
            QCOMPARE(rig.record->HostStatus(), HostStatus::Failed);
        } else {
            QCOMPARE(rig.record->HostStatus(), HostStatus::Succeeded);
        }
        QVERIFY(rig.trayUntouched());
    }

    // An attempt that cannot start ends at once and leaves the record as it was; a second
    // start while one runs is ignored.
    void startThatFails()
    {
        ManualRig rig(TimeProtocol::Port);
        QSignalSpy waiting(&rig.client, &ManualClient::Waiting);
        QSignalSpy finished(&rig.client, &ManualClient::Finished);
        rig.client.Start(QString());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(waiting.size(), 0);
        const ManualOutcome outcome = outcomeOf(finished);
        QCOMPARE(int(outcome.result), int(ManualOutcome::NotStarted));
        QVERIFY(!outcome.statusText.isEmpty());
        QVERIFY(!rig.client.busy());
        QCOMPARE(rig.record->HostStatus(), HostStatus::Succeeded);
    }

    void secondStartWhileBusy()
    {
        ScriptedTimeServer server(ScriptedTimeServer::Silent);
        ManualRig rig(server.port());
        rig.client.Start(Host);
        rig.client.Start(Host);
        QTRY_COMPARE_WITH_TIMEOUT(server.connections.size(), 1, SocketEventWait);
        QTest::qWait(100);
        QCOMPARE(server.connections.size(), 1);
        rig.client.Abandon();
    }

    // Events that come after the attempt was abandoned change nothing.
    void lateEventsAreIgnored()
    {
        ManualRig rig(TimeProtocol::Port);
        QSignalSpy finished(&rig.client, &ManualClient::Finished);
        rig.client.Abandon();
        emit rig.client.tcpClient().Error(SocketControl::sckConnectionRefused, QStringLiteral("Connection refused"));
        emit rig.client.tcpClient().CloseEvent();
        QCOMPARE(finished.size(), 0);
        QCOMPARE(rig.record->HostStatus(), HostStatus::Succeeded);
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestManualClient)
#include "tst_manualclient.moc"
