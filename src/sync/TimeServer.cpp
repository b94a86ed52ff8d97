#include "sync/TimeServer.h"

#include "common/ProgramState.h"
#include "platform/SystemClock.h"

TimeServer::TimeServer(ProgramState &state, quint16 port, const QHostAddress &address, QObject *parent)
    : QObject(parent), mState(state), mPort(port), mAddress(address)
{
    connect(&tcpServer, &SocketControl::ConnectionRequest, this, &TimeServer::tcpServer_ConnectionRequest);
    connect(&tcpServer, &SocketControl::Error, this, &TimeServer::tcpServer_Error);
    connect(&tcpCaller, &SocketControl::SendComplete, this, &TimeServer::tcpCaller_SendComplete);
    connect(&tcpCaller, &SocketControl::CloseEvent, this, &TimeServer::tcpCaller_CloseEvent);
    connect(&tcpCaller, &SocketControl::Error, this, &TimeServer::tcpCaller_Error);
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
    mAcceptingPaused = false;
}

void TimeServer::tmrServer_Timer()
{
    StartListening();
}

void TimeServer::Close()
{
    tcpServer.Close();
    mAcceptingPaused = false;
    // Whatever was handed to the connection still goes out as it closes.
    endCaller();
    while (!mWaiting.empty()) {
        const qintptr requestID = mWaiting.front();
        mWaiting.pop_front();
        if (serve(requestID))
            endCaller();
    }
}

qint16 TimeServer::State() const
{
    if (tcpServer.State() != SocketControl::sckClosed)
        return tcpServer.State();
    if (tcpCaller.State() != SocketControl::sckClosed)
        return tcpCaller.State();
    return mWaiting.empty() ? qint16(SocketControl::sckClosed) : qint16(SocketControl::sckConnected);
}

void TimeServer::tcpServer_ConnectionRequest(qintptr requestID)
{
    mWaiting.push_back(requestID);
    serveWaitingCallers();
    if (!mAcceptingPaused && mWaiting.size() >= MaxWaitingCallers) {
        tcpServer.PauseAccepting();
        mAcceptingPaused = true;
    }
}

void TimeServer::tcpServer_Error(int, const QString &)
{
    // Callers already taken are still served; the next tick listens again.
    if (tcpServer.State() != SocketControl::sckClosed)
        tcpServer.Close();
    mAcceptingPaused = false;
}

void TimeServer::tcpCaller_SendComplete()
{
    endCaller();
    serveWaitingCallers();
    StartListening();
}

void TimeServer::tcpCaller_CloseEvent()
{
    // The caller hung up before its answer was out.
    endCaller();
    serveWaitingCallers();
}

void TimeServer::tcpCaller_Error(int, const QString &)
{
    endCaller();
    serveWaitingCallers();
}

void TimeServer::serveWaitingCallers()
{
    while (tcpCaller.State() == SocketControl::sckClosed && !mWaiting.empty()) {
        const qintptr requestID = mWaiting.front();
        mWaiting.pop_front();
        serve(requestID);
    }
    if (mAcceptingPaused && mWaiting.size() <= MaxWaitingCallers / 2) {
        tcpServer.ResumeAccepting();
        mAcceptingPaused = false;
    }
}

bool TimeServer::serve(qintptr requestID)
{
    if (!tcpCaller.Accept(requestID)) {
        SocketControl::Reject(requestID);
        return false;
    }
    const std::optional<QByteArray> answer = currentAnswer();
    if (!answer || !tcpCaller.SendData(*answer)) {
        // Nothing to send: end the connection now rather than leave the caller waiting.
        endCaller();
        return false;
    }
    return true;
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

void TimeServer::endCaller()
{
    if (tcpCaller.State() != SocketControl::sckClosed)
        tcpCaller.Close();
}
