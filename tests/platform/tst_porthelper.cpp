#include "platform/PortHelper.h"
#include "platform/SocketControl.h"

#include "PortPrivilege.h"
#include "clockhelper/ListenRequest.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int WaitLimit = 5000; // milliseconds for anything on loopback

bool isOpen(int descriptor)
{
    return ::fcntl(descriptor, F_GETFD) != -1;
}

} // namespace

// The listening descriptor on its way from the helper to the program: sent over a Unix
// socket, received, adopted by the socket control, and serving callers.
class TestPortHelper : public QObject
{
    Q_OBJECT

private slots:
    void passedListenerServesCallers()
    {
        unsigned short port = 0;
        const int listener = loopbackListener(port);
        QVERIFY(listener >= 0);
        int channel[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel), 0);
        QVERIFY(sendDescriptor(channel[1], listener));
        ::close(listener); // only the copy that went through the channel is left
        ::close(channel[1]);

        const qintptr received = PortHelper::receiveDescriptor(channel[0], WaitLimit);
        ::close(channel[0]);
        QVERIFY(received >= 0);
        QVERIFY(::fcntl(int(received), F_GETFD) & FD_CLOEXEC); // not passed on to children

        SocketControl control;
        QSignalSpy requests(&control, &SocketControl::ConnectionRequest);
        QVERIFY(control.ListenOn(received));
        QCOMPARE(control.State(), qint16(SocketControl::sckListening));
        QCOMPARE(control.LocalPort(), port);

        QTcpSocket caller;
        caller.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(requests.wait(WaitLimit));
        SocketControl::AnswerRequest(requests.first().first().value<qintptr>(), QByteArray("abcd"));
        QTRY_COMPARE_WITH_TIMEOUT(caller.bytesAvailable(), qint64(4), WaitLimit);

        control.Close();
        QVERIFY(!isOpen(int(received)));
    }

    // The helper's listener takes IPv4 callers too, whatever net.ipv6.bindv6only says.
    // (Bound on a port the system picks, closed at once.)
    void helperListenerIsDualStack()
    {
        const int listener = openListener(0);
        QVERIFY(listener >= 0);
        SocketControl control;
        QSignalSpy requests(&control, &SocketControl::ConnectionRequest);
        QVERIFY(control.ListenOn(listener));
        QTcpSocket caller;
        caller.connectToHost(QHostAddress::LocalHost, control.LocalPort());
        QVERIFY(requests.wait(WaitLimit));
        SocketControl::AnswerRequest(requests.first().first().value<qintptr>(), QByteArray());
    }

    // A peer that sends no descriptor never leaves the receiver waiting past its limit.
    void nothingReceived_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("peerCloses");
        QTest::newRow("peer ends without a word") << QByteArray() << true;
        QTest::newRow("a byte without a descriptor") << QByteArray("L") << true;
        QTest::newRow("peer silent and open") << QByteArray() << false;
    }
    void nothingReceived()
    {
        QFETCH(QByteArray, sent);
        QFETCH(bool, peerCloses);
        int channel[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel), 0);
        if (!sent.isEmpty())
            QCOMPARE(::send(channel[1], sent.constData(), size_t(sent.size()), 0), ssize_t(sent.size()));
        if (peerCloses)
            ::close(channel[1]);
        constexpr int Limit = 300;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(PortHelper::receiveDescriptor(channel[0], Limit), qintptr(-1));
        QVERIFY(clock.elapsed() < Limit + 1000);
        ::close(channel[0]);
        if (!peerCloses)
            ::close(channel[1]);
    }

    // The control owns what it is given: on a refusal too.
    void adoptingRefused()
    {
        int notListening = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(notListening >= 0);
        SocketControl control;
        QVERIFY(!control.ListenOn(notListening));
        QCOMPARE(control.State(), qint16(SocketControl::sckClosed));
        QVERIFY(!isOpen(notListening));
    }

    // The real helper, started as an account without the port privilege would start it:
    // binding is refused, it says so in its exit status, and the program is not left
    // waiting for a descriptor.
    void helperRefusedQuickly()
    {
        QVERIFY(dropPortPrivilege());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(PortHelper::askListener(QStringLiteral(BRINDLECOT_CLOCK_HELPER)), qintptr(-1));
        QVERIFY(clock.elapsed() < PortHelper::DefaultTimeLimit);
        QCOMPARE(PortHelper::askListener(QStringLiteral("/nonexistent/brindlecot-clock")), qintptr(-1));
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestPortHelper)
#include "tst_porthelper.moc"
