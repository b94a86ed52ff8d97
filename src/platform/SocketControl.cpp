#include "platform/SocketControl.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr int LingerLimit = 5000; // milliseconds a closed connection may take to drain
constexpr int AcceptBatch = 64;   // callers taken from the system per turn of the event loop

int errorNumberFor(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return SocketControl::sckConnectionRefused;
    case QAbstractSocket::RemoteHostClosedError:
        return SocketControl::sckConnectionReset;
    case QAbstractSocket::HostNotFoundError:
        return SocketControl::sckHostNotFound;
    case QAbstractSocket::SocketAccessError:
        return SocketControl::sckAccessDenied;
    case QAbstractSocket::SocketTimeoutError:
        return SocketControl::sckTimedOut;
    case QAbstractSocket::AddressInUseError:
        return SocketControl::sckAddressInUse;
    case QAbstractSocket::NetworkError:
        return SocketControl::sckNetworkError;
    default:
        return SocketControl::sckOtherError;
    }
}

// Lets a connection finish sending and end with an orderly close, without the control.
void windDown(QTcpSocket *socket)
{
    QObject::disconnect(socket, nullptr, nullptr, nullptr);
    if (socket->state() != QAbstractSocket::ConnectedState) {
        // Not connected (yet): nothing can be owed to the peer.
        socket->abort();
        socket->deleteLater();
        return;
    }
    // Unread input would make the system answer the close with a reset, which can cost
    // the peer the bytes just sent.
    socket->readAll();
    // Hand what is queued to the system now, so it goes out even if no event loop runs
    // after this (at shutdown).
    socket->flush();
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    // Bytes still queued keep the connection open until they are out, but not forever.
    if (socket->state() != QAbstractSocket::UnconnectedState) {
        QTimer::singleShot(LingerLimit, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
    }
}

} // namespace

SocketControl::SocketControl(QObject *parent) : QObject(parent) { }

SocketControl::~SocketControl()
{
    Close();
}

void SocketControl::Close()
{
    if (mSocket) {
        windDown(mSocket);
        mSocket = nullptr;
    }
    if (mServer) {
        // Close() may come from within the server's own request handler.
        QObject::disconnect(mCallers, nullptr, this, nullptr);
        mCallers->setEnabled(false);
        mCallers = nullptr;
        mServer->close();
        mServer->deleteLater();
        mServer = nullptr;
    }
    mState = sckClosed;
}

quint16 SocketControl::LocalPort() const
{
    return mServer ? mServer->serverPort() : mLocalPort;
}

bool SocketControl::fail(int number, const QString &description)
{
    mLastErrorNumber = number;
    mLastErrorDescription = description;
    return false;
}

bool SocketControl::Connect()
{
    if (mState != sckClosed)
        return fail(sckInvalidOperation, tr("Wrong protocol or connection state for the requested transaction or request"));
    if (mRemoteHost.isEmpty())
        return fail(sckHostNotFound, tr("No host name or address to connect to"));
    auto *socket = new QTcpSocket(this);
    adopt(socket, sckResolvingHost);
    // Some addresses are refused by the system within connectToHost (a multicast or
    // broadcast address, a network that cannot be reached); their error must still come
    // as an event of its own, never inside the caller's handler.
    mConnecting = true;
    socket->connectToHost(mRemoteHost, mRemotePort);
    mConnecting = false;
    return true;
}

bool SocketControl::Listen()
{
    if (mState != sckClosed)
        return fail(sckInvalidOperation, tr("Wrong protocol or connection state for the requested transaction or request"));
    auto *server = new QTcpServer(this);
    // Callers that come all at once wait in the system's queue rather than being turned
    // away to retry a second or more later.
    server->setListenBacklogSize(largestBacklog());
    if (!server->listen(mLocalAddress, mLocalPort)) {
        fail(errorNumberFor(server->serverError()), server->errorString());
        delete server;
        return false;
    }
    startServing(server);
    return true;
}

bool SocketControl::ListenOn(qintptr descriptor)
{
    if (mState != sckClosed) {
        closeDescriptor(descriptor);
        return fail(sckInvalidOperation, tr("Wrong protocol or connection state for the requested transaction or request"));
    }
    // Qt would take a socket that does not listen as well, and then wait for callers that
    // can never come.
    if (!listensAlready(descriptor)) {
        closeDescriptor(descriptor);
        return fail(sckInvalidOperation, tr("The socket handed over does not listen"));
    }
    auto *server = new QTcpServer(this);
    if (!server->setSocketDescriptor(descriptor)) {
        fail(errorNumberFor(server->serverError()), server->errorString());
        delete server;
        closeDescriptor(descriptor);
        return false;
    }
    startServing(server);
    return true;
}

// QTcpServer binds and owns the listening socket; the callers are taken here, each handed
// out as a bare descriptor, so that any control can accept it, as a request identifier
// should allow, and without QTcpServer's own bookkeeping for every caller.
void SocketControl::startServing(QTcpServer *server)
{
    server->pauseAccepting();
    mCallers = new QSocketNotifier(server->socketDescriptor(), QSocketNotifier::Read, server);
    connect(mCallers, &QSocketNotifier::activated, this, &SocketControl::takeCallers);
    mServer = server;
    mState = sckListening;
}

// Takes one batch of callers per turn of the event loop. The notifier fires again on the
// next turn while callers are still waiting, so a flood never holds the event loop, and
// with it the countdown and a termination signal, for longer than one batch.
void SocketControl::takeCallers()
{
    const QSocketNotifier *notifier = mCallers;
    for (int i = 0; i < AcceptBatch; ++i) {
        const Taken taken = takeCaller(mServer->socketDescriptor());
        switch (taken.outcome) {
        case Taken::Caller:
            emit ConnectionRequest(taken.descriptor);
            // The receiver may have closed the control, or closed it and listened anew.
            if (mState != sckListening || mCallers != notifier)
                return;
            break;
        case Taken::Gone:
            break;
        case Taken::NoneWaiting:
            return;
        case Taken::Failed:
            // Such a failure (no descriptor left, say) lasts; rather than trying again on
            // every turn, the control takes no more until the owner closes it and listens
            // again.
            mCallers->setEnabled(false);
            mState = sckError;
            emit Error(sckOtherError, taken.failure);
            return;
        }
    }
}

bool SocketControl::Accept(qintptr requestID)
{
    if (mState != sckClosed)
        return fail(sckInvalidOperation, tr("Wrong protocol or connection state for the requested transaction or request"));
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(requestID)) {
        fail(errorNumberFor(socket->error()), socket->errorString());
        delete socket;
        // The caller is ours from ConnectionRequest on: nothing else will end it.
        closeDescriptor(requestID);
        return false;
    }
    adopt(socket, sckConnected);
    return true;
}

bool SocketControl::SendData(const QByteArray &data)
{
    if (mState != sckConnected || !mSocket)
        return fail(sckInvalidOperation, tr("Wrong protocol or connection state for the requested transaction or request"));
    if (mSocket->write(data) != data.size())
        return fail(errorNumberFor(mSocket->error()), mSocket->errorString());
    return true;
}

QByteArray SocketControl::GetData()
{
    return mSocket ? mSocket->readAll() : QByteArray();
}

void SocketControl::adopt(QTcpSocket *socket, qint16 state)
{
    mSocket = socket;
    mState = state;
    connect(socket, &QTcpSocket::stateChanged, this, &SocketControl::onSocketStateChanged);
    connect(socket, &QTcpSocket::errorOccurred, this, &SocketControl::onSocketError);
    connect(socket, &QTcpSocket::bytesWritten, this, &SocketControl::onBytesWritten);
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        if (mSocket && mSocket->bytesAvailable() > 0)
            emit DataArrival(mSocket->bytesAvailable());
    });
}

void SocketControl::onSocketStateChanged()
{
    if (!mSocket)
        return;
    switch (mSocket->state()) {
    case QAbstractSocket::HostLookupState:
        mState = sckResolvingHost;
        break;
    case QAbstractSocket::ConnectingState:
        mState = sckConnecting;
        break;
    case QAbstractSocket::ConnectedState:
        if (mState != sckConnected) {
            mState = sckConnected;
            emit ConnectEvent();
        }
        break;
    case QAbstractSocket::UnconnectedState:
        // A connection that was up and ended without an error: the peer closed it.
        if (mState == sckConnected) {
            mState = sckClosing;
            emit CloseEvent();
        }
        break;
    default:
        break;
    }
}

void SocketControl::onSocketError()
{
    if (!mSocket)
        return;
    const QAbstractSocket::SocketError error = mSocket->error();
    if (error == QAbstractSocket::RemoteHostClosedError && mState == sckConnected)
        return; // an orderly close by the peer: the Close event follows
    mState = sckError;
    const int number = errorNumberFor(error);
    const QString description = mSocket->errorString();
    if (mConnecting) {
        // Inside Connect(): deliver it from the event loop, unless the control has been
        // closed or has moved on to another connection by then.
        QMetaObject::invokeMethod(
                this,
                [this, socket = QPointer<QTcpSocket>(mSocket), number, description] {
                    if (socket && mSocket == socket)
                        emit Error(number, description);
                },
                Qt::QueuedConnection);
        return;
    }
    emit Error(number, description);
}

void SocketControl::onBytesWritten()
{
    if (mSocket && mSocket->bytesToWrite() == 0)
        emit SendComplete();
}

