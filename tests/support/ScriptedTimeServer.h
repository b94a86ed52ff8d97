#pragma once

#include "FreePort.h"

#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

// A time server on 127.0.0.1 and a free port whose behaviour each test writes: it answers
// every caller with fixed bytes (and then closes or holds the connection), closes at once,
// or stays silent. A reply may be held for a while after the caller is taken, as by a
// server that read its clock and then stalled.
class ScriptedTimeServer
{
public:
    enum Mode { Reply, ReplyAndHold, CloseAtOnce, Silent };

    // replyHold: milliseconds from taking a caller to the reply.
    explicit ScriptedTimeServer(Mode mode = Silent, QByteArray reply = {}, int replyHold = 0)
        : mMode(mode)
        , mReply(std::move(reply))
    {
        QVERIFY(mServer.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&mServer, &QTcpServer::newConnection, &mServer, [this, replyHold] {
            while (QTcpSocket *peer = mServer.nextPendingConnection()) {
                connections.append(peer);
                if ((mMode == Reply || mMode == ReplyAndHold) && replyHold > 0) {
                    QTimer::singleShot(replyHold, Qt::PreciseTimer, peer, [this, peer] { send(peer, mReply, mMode == Reply); });
                } else if (mMode == Reply || mMode == ReplyAndHold) {
                    send(peer, mReply, mMode == Reply);
                } else if (mMode == CloseAtOnce) {
                    peer->disconnectFromHost();
                }
            }
        });
    }

    // What a test sends by hand to a caller that the server holds, and then perhaps closes.
    static void send(QTcpSocket *peer, const QByteArray &bytes, bool thenClose)
    {
        peer->write(bytes);
        peer->flush();
        if (thenClose)
            peer->disconnectFromHost();
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
