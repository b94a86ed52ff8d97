#include "app/ControlServer.h"

#include "platform/ControlAccess.h"

#include <QLocalSocket>
#include <QTimer>

ControlServer::ControlServer(Handler handler, QObject *parent) : QObject(parent), mHandler(std::move(handler))
{
    // Only this account may connect at all; the peer check below also admits root.
    mServer.setSocketOptions(QLocalServer::UserAccessOption);
    mServer.setMaxPendingConnections(Control::MaxConnections);
    connect(&mServer, &QLocalServer::newConnection, this, &ControlServer::accept);
}

ControlServer::~ControlServer()
{
    mServer.close(); // removes the socket file
}

bool ControlServer::listen(const QString &name)
{
    QLocalServer::removeServer(name);
    return mServer.listen(name);
}

void ControlServer::accept()
{
    while (QLocalSocket *socket = mServer.nextPendingConnection()) {
        if (mOpen >= Control::MaxConnections || !peerMayControl(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++mOpen;
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this] { --mOpen; });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        // A caller that never finishes its line is dropped when its time is up.
        QTimer::singleShot(Control::RequestTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            read(socket);
    }
}

void ControlServer::read(QLocalSocket *socket)
{
    const QByteArray line = socket->peek(Control::MaxRequestBytes);
    const qsizetype end = line.indexOf('\n');
    if (end < 0) {
        if (line.size() >= Control::MaxRequestBytes)
            finish(socket, Control::encodeAnswer({ Control::BadRequest, QStringLiteral("request too long\n") }));
        return;
    }
    socket->read(end + 1);
    const std::optional<Control::Request> request = Control::parseRequest(line.left(end + 1));
    if (!request) {
        finish(socket, Control::encodeAnswer({ Control::BadRequest, QStringLiteral("unknown request\n") }));
        return;
    }
    finish(socket, Control::encodeAnswer(mHandler(*request)));
}

void ControlServer::finish(QLocalSocket *socket, const QByteArray &answer)
{
    // One request per connection: whatever else comes is not read.
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    socket->write(answer);
    socket->flush();
    socket->disconnectFromServer(); // after what was written has gone out
}
