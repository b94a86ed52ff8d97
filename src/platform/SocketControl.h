#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

// The asynchronous TCP control that the clients and the local server talk through.
// It either connects to one peer, or listens, or carries one accepted connection.
// Every event arrives on the user-interface thread, one at a time.
//
// Failures of a call come back as false, with the error's number and text in
// lastErrorNumber()/lastErrorDescription(); failures of a connection come as the
// Error event. Close() always reaches the closed state at once: the connection is
// wound down underneath (pending bytes still go out) while State() already reads 0.
class SocketControl : public QObject
{
    Q_OBJECT

public:
    enum StateCode : qint16 {
        sckClosed = 0,
        sckListening = 2,
        sckResolvingHost = 4,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8, // the peer has closed; Close() still has to be called
        sckError = 9,
    };

    // Error numbers of the Error event and of failed calls.
    enum ErrorCode : int {
        sckInvalidOperation = 40020,  // the call does not fit the control's state
        sckAddressInUse = 10048,
        sckAccessDenied = 10013,
        sckConnectionRefused = 10061,
        sckConnectionReset = 10054,
        sckTimedOut = 10060,
        sckHostNotFound = 11001,
        sckNetworkError = 10050,
        sckOtherError = 10000,
    };

    explicit SocketControl(QObject *parent = nullptr);
    ~SocketControl() override;

    qint16 State() const { return mState; }
    void Close();

    QString RemoteHost() const { return mRemoteHost; }
    void setRemoteHost(const QString &host) { mRemoteHost = host; }
    quint16 RemotePort() const { return mRemotePort; }
    void setRemotePort(quint16 port) { mRemotePort = port; }

    // The port to listen on; while listening, the port actually bound (useful with 0).
    quint16 LocalPort() const;
    void setLocalPort(quint16 port) { mLocalPort = port; }
    // The address to listen on: every address unless set.
    void setLocalAddress(const QHostAddress &address) { mLocalAddress = address; }

    // Starts connecting to RemoteHost:RemotePort and returns at once. A failure to
    // connect, even one the system reports at once, comes later as the Error event.
    bool Connect();
    // Starts listening; on failure the control is closed again.
    bool Listen();
    // Listens on a descriptor that is bound and listening already (one handed over by a
    // privileged helper); the control owns it from here on and closes it on failure.
    bool ListenOn(qintptr descriptor);
    // Takes over a caller handed out by ConnectionRequest. Any closed control may accept
    // it, not only the one that listened. On failure the caller's connection is closed.
    bool Accept(qintptr requestID);
    // Answers a caller handed out by ConnectionRequest at once, without a control and
    // without waiting for an event: hands the bytes to the system in one go, drops whatever
    // the caller sent, and closes the connection in order (the bytes still go out). Meant
    // for short answers, which a new connection's send buffer always takes whole; false,
    // with the connection closed all the same, when the system did not take every byte.
    // An empty answer just closes the connection.
    static bool AnswerRequest(qintptr requestID, const QByteArray &data);

    // Queues bytes for sending; false when not connected.
    bool SendData(const QByteArray &data);
    // Every byte received and not yet taken.
    QByteArray GetData();

    int lastErrorNumber() const { return mLastErrorNumber; }
    QString lastErrorDescription() const { return mLastErrorDescription; }

signals:
    // The connection that Connect() started is made: the host name was looked up and the
    // peer took the connection. Not sent for a caller taken over with Accept().
    void ConnectEvent();
    // At least one byte can be taken with GetData(); bytesTotal is how many.
    void DataArrival(qint64 bytesTotal);
    // A caller connected to the listening control. The receiver owns requestID from here
    // on: it must Accept() it on some control or end it with AnswerRequest().
    void ConnectionRequest(qintptr requestID);
    // Everything passed to SendData() has gone to the operating system.
    void SendComplete();
    // The peer closed the connection.
    void CloseEvent();
    // The connection could not be made or broke; while listening, taking a caller from
    // the system failed (the control then takes no more until it is closed and listens
    // again).
    void Error(int number, const QString &description);

private:
    // One try at taking a waiting caller from a listening socket, without waiting.
    struct Taken {
        enum Outcome { Caller, NoneWaiting, Gone, Failed } outcome;
        qintptr descriptor = -1; // Caller: the caller's connection, blocking, not inherited
        QString failure;         // Failed: the system's reason
    };

    void adopt(QTcpSocket *socket, qint16 state);
    void startServing(QTcpServer *server);
    void takeCallers();
    void onSocketStateChanged();
    void onSocketError();
    void onBytesWritten();
    bool fail(int number, const QString &description);
    // Ends a caller's connection that no control took over (one file per platform).
    static void closeDescriptor(qintptr requestID);
    // Whether the descriptor is a socket that listens (one file per platform).
    static bool listensAlready(qintptr descriptor);
    // The longest queue of waiting callers that the system allows a listener.
    static int largestBacklog();
    // Takes one caller (one file per platform). Gone: the caller left before it could be
    // taken, and others may still wait.
    static Taken takeCaller(qintptr listener);

    QTcpSocket *mSocket = nullptr;
    QTcpServer *mServer = nullptr;   // owns the listening socket
    QSocketNotifier *mCallers = nullptr; // callers waiting on it; a child of mServer
    qint16 mState = sckClosed;
    bool mConnecting = false; // inside Connect()'s call to the system
    QString mRemoteHost;
    quint16 mRemotePort = 0;
    quint16 mLocalPort = 0;
    QHostAddress mLocalAddress = QHostAddress::Any;
    int mLastErrorNumber = 0;
    QString mLastErrorDescription;
};
