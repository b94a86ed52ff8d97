#include "sync/TimeServer.h"

#include "state/ProgramState.h"
#include "platform/SystemClock.h"

TimeServer::TimeServer(ProgramState &state, quint16 port, const QHostAddress &address, QObject *parent)
    : QObject(parent), mState(state), mPort(port), mAddress(address)
{
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
    tcpServer.Listen();
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
    const Date now = mState.Clock.now();
    qint32 bias = 0;
    if (!GetTimeZoneBias(mState.Zone, bias))
        return std::nullopt;
    const std::optional<quint32> value = LocalToTimeValue(now, bias);
    if (!value)
        return std::nullopt;
    return TimeProtocol::encode(*value);
}
