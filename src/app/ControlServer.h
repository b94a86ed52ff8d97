#pragma once

#include "app/ControlProtocol.h"

#include <QLocalServer>
#include <QObject>

#include <functional>

class QLocalSocket;

// The running copy's control socket: it takes one request line per connection from the
// same account (or the administrator), has it carried out, answers and closes. A
// connection that says nothing whole in time, says too much, or is one too many is closed
// without an answer; an unknown request is answered with an error and changes nothing.
class ControlServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<Control::Answer(const Control::Request &)>;

    ControlServer(Handler handler, QObject *parent = nullptr);
    ~ControlServer() override;

    // Listens at the name; a socket left there by a copy that ended without removing it is
    // replaced (the caller holds the single-instance lock, so no copy owns it). False, with
    // the reason in errorString(), when it cannot listen.
    bool listen(const QString &name);
    QString errorString() const { return mServer.errorString(); }
    QString fullName() const { return mServer.fullServerName(); }
    // Connections open now.
    int connections() const { return mOpen; }

private:
    void accept();
    void read(QLocalSocket *socket);
    void finish(QLocalSocket *socket, const QByteArray &answer);

    Handler mHandler;
    QLocalServer mServer;
    int mOpen = 0;
};
