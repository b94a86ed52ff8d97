#include "sync/TimeServer.h"

#include "platform/ClockAccess.h"
#include "platform/PortHelper.h"
#include "platform/SystemClock.h"
#include "state/ProgramState.h"

TimeServer::TimeServer(ProgramState &state, quint16 port, const QHostAddress &address, QObject *parent)
    : QObject(parent), mState(state), mPort(port), mAddress(address)
{
    // The helper binds port 37 on every address, and nothing else.
    if (port == TimeProtocol::Port && address == QHostAddress(QHostAddress::Any))
        mListenerSource = [] { return PortHelper::askListener(installedClockHelper()); };
    connect(&tcpServer, &SocketControl::ConnectionRequest, this, &TimeServer::tcpServer_ConnectionRequest);
    connect(&tcpServer, &SocketControl::Error, this, &TimeServer::tcpServer_Error);
}

TimeServer::~TimeServer()
{
    Close();
}

void TimeServer::StartListening()
{
    if (tcpServer.State() != SocketControl::sckClosed)
        return;
    tcpServer.setLocalAddress(mAddress);
    tcpServer.setLocalPort(mPort);
    // A port that cannot be bound leaves the listener closed; the next tick tries again.
    if (tcpServer.Listen())
        return;
    // Root and the system service bind port 37 themselves; anyone else may get it bound.
    if (tcpServer.lastErrorNumber() != SocketControl::sckAccessDenied || !mListenerSource)
        return;
    const qintptr descriptor = mListenerSource();
    if (descriptor >= 0)
        tcpServer.ListenOn(descriptor);
}

void TimeServer::tmrServer_Timer()
{
    StartListening();
}

void TimeServer::Close()
{
    if (tcpServer.State() != SocketControl::sckClosed)
        tcpServer.Close();
}

void TimeServer::tcpServer_ConnectionRequest(qintptr requestID)
{
    // Four bytes always fit a new connection's send buffer, so the answer is handed over
    // whole and the connection closed right here; waiting for a "sent" event would only
    // keep the next caller waiting longer. With nothing to send the caller is closed at
    // once rather than left hanging. A caller that has gone already just gets closed.
    SocketControl::AnswerRequest(requestID, currentAnswer().value_or(QByteArray()));
}

void TimeServer::tcpServer_Error(int, const QString &)
{
    // The listener takes no more callers after such an error; the next tick listens again.
    Close();
}

std::optional<QByteArray> TimeServer::currentAnswer() const
{
    // The value is universal time by definition: straight from the clock, no time zone.
    const std::optional<quint32> value = TimeProtocol::fromUnixSeconds(mState.Clock.utcSeconds());
    if (!value)
        return std::nullopt;
    return TimeProtocol::encode(*value);
}
