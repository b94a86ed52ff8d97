#include "sync/TimeServer.h"

#include "PortPrivilege.h"
#include "TestState.h"
#include "TestMain.h"

#include <QTcpSocket>
#include <QTest>

namespace {

constexpr int ListenerWaitLimit = 5000; // milliseconds for anything on loopback

} // namespace

// Port 37 for a process that may not bind it: the server takes a listener from its source
// whenever binding is refused, and asks again at every tick while it has none.
class TestTimeServerListener : public QObject
{
    Q_OBJECT

    TestState mRig { 300 }; // 2004-01-06 13:41:17 local is 18:41:17 UTC

private slots:
    void initTestCase()
    {
        // As an ordinary account: binding port 37 is refused from here on.
        QVERIFY(dropPortPrivilege());
    }

    void refusedPortTakesTheSourcesListener()
    {
        TimeServer server(mRig.state, 37, QHostAddress::LocalHost);
        int asked = 0;
        unsigned short port = 0;
        bool give = false;
        server.setListenerSource([&] {
            ++asked;
            return give ? qintptr(loopbackListener(port)) : qintptr(-1);
        });

        // None to be had (an account outside the group): closed, asked again each tick.
        server.StartListening();
        QCOMPARE(server.State(), qint16(0));
        server.tmrServer_Timer();
        QCOMPARE(asked, 2);

        give = true;
        server.tmrServer_Timer();
        QCOMPARE(asked, 3);
        QCOMPARE(server.State(), qint16(SocketControl::sckListening));
        QCOMPARE(server.LocalPort(), port);
        server.tmrServer_Timer(); // listening: nothing to ask
        QCOMPARE(asked, 3);

        QTcpSocket caller;
        caller.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(caller.bytesAvailable(), qint64(4), ListenerWaitLimit);
        QCOMPARE(caller.readAll(), QByteArray::fromHex("c3a57fcd"));

        // Closed after an error: the next tick re-arms through the source again.
        server.Close();
        server.tmrServer_Timer();
        QCOMPARE(asked, 4);
        QCOMPARE(server.State(), qint16(SocketControl::sckListening));
    }

    // A port the process may bind itself never goes to the source, and a failure other than
    // a refusal (the port taken) does not either.
    void sourceOnlyForARefusal()
    {
        unsigned short taken = 0;
        const int holder = loopbackListener(taken);
        QVERIFY(holder >= 0);
        for (const quint16 port : { quint16(0), quint16(taken) }) {
            TimeServer server(mRig.state, port, QHostAddress::LocalHost);
            int asked = 0;
            server.setListenerSource([&] { ++asked; return qintptr(-1); });
            server.StartListening();
            QCOMPARE(asked, 0);
            QCOMPARE(server.State(), qint16(port == 0 ? SocketControl::sckListening : 0));
        }
        ::close(holder);
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestTimeServerListener)
#include "tst_timeserver_listener.moc"
