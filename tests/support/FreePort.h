#pragma once

#include <QHostAddress>
#include <QTcpServer>

// A port of 127.0.0.1 that nobody listens on now: for a server a test starts, or for a
// caller that must be refused. 0 when the system gives none.
inline quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}
