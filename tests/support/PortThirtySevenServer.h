#pragma once

#include "sync/TimeProtocol.h"

#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

// A Time Protocol server on port 37 of one loopback address, for a test that runs the real
// program, whose client always asks port 37. It answers every caller with this machine's
// time moved by a fixed number of seconds. Listening on port 37 needs root (or
// CAP_NET_BIND_SERVICE); a test without it skips.
//
// Each test program has an address of its own, so that the programs of tests running side
// by side never reach each other's server:
namespace LoopbackAddress {
inline const QHostAddress Program(QStringLiteral("127.0.0.1"));    // tst_program
inline const QHostAddress Refusing(QStringLiteral("127.0.0.6"));   // tst_program, beside it: a clock it may not set
inline const QString Unanswered = QStringLiteral("127.0.0.2");     // nothing listens: refused at once
inline const QHostAddress Control(QStringLiteral("127.0.0.4"));    // tst_control
inline const QHostAddress Sni(QStringLiteral("127.0.0.5"));        // tst_traysni
} // namespace LoopbackAddress

class PortThirtySevenServer : public QTcpServer
{
public:
    explicit PortThirtySevenServer(qint64 ahead = 0) : mAhead(ahead)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *caller = nextPendingConnection()) {
                const qint64 seconds = QDateTime::currentSecsSinceEpoch() + TimeProtocol::UnixEpochOffset + mAhead;
                caller->write(TimeProtocol::encode(quint32(seconds)));
                caller->disconnectFromHost();
                connect(caller, &QTcpSocket::disconnected, caller, &QObject::deleteLater);
                answers.append(QDateTime::currentMSecsSinceEpoch());
            }
        });
    }

    // False when port 37 of the address cannot be taken here.
    bool listenOn(const QHostAddress &address) { return listen(address, TimeProtocol::Port); }

    QList<qint64> answers; // when each caller was answered, ms since the epoch

private:
    qint64 mAhead; // seconds
};
