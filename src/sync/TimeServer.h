#pragma once

#include "platform/SocketControl.h"
#include "sync/TimeProtocol.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

#include <deque>
#include <optional>

struct ProgramState;

// The local Time Protocol server: it listens on TCP port 37 and answers every caller with
// the current time as four bytes, then closes the connection itself.
//
// One caller is served at a time. Callers that arrive meanwhile are not turned away: the
// listener stays open, their connections wait in a short queue and are answered in turn;
// when that queue is full the listener stops taking callers from the operating system, so
// the rest wait in the system's listen queue. Every connection the server takes gets its
// four bytes, or is closed at once when there is no time to send (the time-zone bias cannot
// be read, or the time lies beyond what four bytes can hold).
//
// The server does not listen until StartListening() is first called; the owner calls
// tmrServer_Timer() every ten seconds, which re-arms a listener found closed (after a
// failed Listen, for example).
class TimeServer : public QObject
{
    Q_OBJECT

public:
    // Callers taken from the operating system and waiting for their answer; beyond this
    // the listener pauses until the queue has drained to half.
    static constexpr int MaxWaitingCallers = 16; // connections

    explicit TimeServer(ProgramState &state, quint16 port = TimeProtocol::Port,
                        const QHostAddress &address = QHostAddress::Any, QObject *parent = nullptr);
    ~TimeServer() override;

    // Listens on the port unless the listener is already open.
    void StartListening();
    // The ten-second tick of the owner's timer.
    void tmrServer_Timer();

    // Ends everything at once, for shutdown: stops listening, and ends the connection being
    // served and the waiting ones, each with its answer when there is one to give.
    void Close();

    // 0 when nothing is open: no listener, no connection being served, nobody waiting.
    // Otherwise the listener's state, else the served connection's (SocketControl codes).
    qint16 State() const;
    // While listening, the port actually bound (useful when asked for port 0).
    quint16 LocalPort() const { return tcpServer.LocalPort(); }
    // Callers taken from the system that wait for their turn.
    int waitingCallers() const { return int(mWaiting.size()); }

private:
    void tcpServer_ConnectionRequest(qintptr requestID);
    void tcpServer_Error(int number, const QString &description);
    void tcpCaller_SendComplete();
    void tcpCaller_CloseEvent();
    void tcpCaller_Error(int number, const QString &description);

    // Serves waiting callers until one is under way or none is left.
    void serveWaitingCallers();
    // Takes over one caller and starts its answer; false when it ended at once.
    bool serve(qintptr requestID);
    // The four bytes for this moment; empty when there is no valid time to send.
    std::optional<QByteArray> currentAnswer() const;
    void endCaller();

    ProgramState &mState;
    const quint16 mPort;
    const QHostAddress mAddress;
    SocketControl tcpServer; // listens
    SocketControl tcpCaller; // carries the one caller being served
    std::deque<qintptr> mWaiting; // request ids accepted from the system, oldest first
    bool mAcceptingPaused = false;
};
