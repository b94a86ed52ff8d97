#pragma once

#include "platform/SocketControl.h"
#include "sync/TimeProtocol.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

#include <functional>
#include <optional>

struct ProgramState;

// The local Time Protocol server: it listens on TCP port 37 and answers every caller with
// the current time as four bytes, then closes the connection itself.
//
// One caller is served at a time, and the listener stays open meanwhile. Each caller is
// answered in full the moment it is taken from the system (the four bytes go out in one
// step and the connection closes behind them), so callers that arrive meanwhile wait in
// the system's listen queue and are taken in turn; none is refused because another is
// being served, and none is left without its answer. The answer is the universal time of
// the system's clock; no time zone is read. When there is no time to send (the time lies
// beyond what four bytes can hold) the connection is closed at once.
//
// The server does not listen until StartListening() is first called; the owner calls
// tmrServer_Timer() every ten seconds, which re-arms a listener found closed (after a
// failed Listen or an error).
//
// A process that may not bind the port itself (port 37 without CAP_NET_BIND_SERVICE)
// asks its listener source for one that is bound already: on port 37 that is the installed
// helper, which only members of its group may run. Without one it stays closed and tries
// again at the next tick, silently.
class TimeServer : public QObject
{
    Q_OBJECT

public:
    explicit TimeServer(ProgramState &state, quint16 port = TimeProtocol::Port,
                        const QHostAddress &address = QHostAddress::Any, QObject *parent = nullptr);
    ~TimeServer() override;

    // A listening descriptor for the port, now the caller's, or -1 when there is none.
    using ListenerSource = std::function<qintptr()>;
    // Replaces the source asked when binding is refused (none: stay closed).
    void setListenerSource(ListenerSource source) { mListenerSource = std::move(source); }

    // Listens on the port unless the listener is already open.
    void StartListening();
    // The ten-second tick of the owner's timer.
    void tmrServer_Timer();

    // Stops listening, at once (shutdown). No caller is left half served: each was
    // answered and closed when it was taken.
    void Close();

    // 0 when closed; otherwise the listener's state (SocketControl codes).
    qint16 State() const { return tcpServer.State(); }
    // While listening, the port actually bound (useful when asked for port 0).
    quint16 LocalPort() const { return tcpServer.LocalPort(); }

private:
    void tcpServer_ConnectionRequest(qintptr requestID);
    void tcpServer_Error(int number, const QString &description);

    // The four bytes for this moment; empty when there is no valid time to send.
    std::optional<QByteArray> currentAnswer() const;

    ProgramState &mState;
    const quint16 mPort;
    const QHostAddress mAddress;
    ListenerSource mListenerSource;
    SocketControl tcpServer;
};
