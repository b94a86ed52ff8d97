#pragma once

#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A time server on 127.0.0.1 and a free port whose behaviour each test writes: it answers
// every caller with fixed bytes (and then closes or holds the connection), closes at once,
// or stays silent.
class ScriptedTimeServer
{
public:
    enum Mode { Reply, ReplyAndHold, CloseAtOnce, Silent };

    explicit ScriptedTimeServer(Mode mode = Silent, QByteArray reply = {}) : mMode(mode), mReply(std::move(reply))
    {
        mServer.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&mServer, &QTcpServer::newConnection, &mServer, [this] {
            while (QTcpSocket *peer = mServer.nextPendingConnection()) {
                connections.append(peer);
                if (mMode == Reply || mMode == ReplyAndHold) {
                    peer->write(mReply);
                    peer->flush();
                    if (mMode == Reply)
                        peer->disconnectFromHost();
                } else if (mMode == CloseAtOnce) {
                    peer->disconnectFromHost();
                }
            }
        });
    }

    bool listening() const { return mServer.isListening(); }
    quint16 port() const { return mServer.serverPort(); }

    // Callers whose connection has ended.
    int ended() const
    {
        int n = 0;
        for (const QPointer<QTcpSocket> &peer : connections)
            n += !peer || peer->state() == QAbstractSocket::UnconnectedState;
        return n;
    }

    QList<QPointer<QTcpSocket>> connections; // owned by the server

private:
    QTcpServer mServer;
    Mode mMode;
    QByteArray mReply;
};

// A port of 127.0.0.1 on which nobody listens.
inline quint16 deadLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}
