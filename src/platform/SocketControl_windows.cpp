#include "platform/SocketControl.h"

#include <QtGlobal>

#include <winsock2.h>

namespace {

constexpr int DrainReads = 16;   // reads of unread input before the close, at most
constexpr int DrainChunk = 16384; // bytes per read

} // namespace

// As on other systems: the caller's socket as the system handed it over, answered without
// waiting, its input dropped so that the close is orderly, then closed.
bool SocketControl::AnswerRequest(qintptr requestID, const QByteArray &data)
{
    const SOCKET socket = SOCKET(requestID);
    u_long nonBlocking = 1;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
    bool complete = true;
    qsizetype sent = 0;
    while (sent < data.size()) {
        const int n = ::send(socket, data.constData() + sent, int(data.size() - sent), 0);
        if (n <= 0) {
            complete = false;
            break;
        }
        sent += n;
    }
    char sink[DrainChunk];
    for (int i = 0; i < DrainReads; ++i) {
        if (::recv(socket, sink, DrainChunk, 0) <= 0)
            break;
    }
    ::closesocket(socket);
    return complete;
}

// Qt closes the socket itself on some failures; one it has closed already is not closed
// twice, which could end some other connection that has taken the handle since.
void SocketControl::closeDescriptor(qintptr requestID)
{
    int type = 0;
    int size = sizeof type;
    if (::getsockopt(SOCKET(requestID), SOL_SOCKET, SO_TYPE, reinterpret_cast<char *>(&type), &size) == 0)
        ::closesocket(SOCKET(requestID));
}

// SOMAXCONN asks Winsock for the largest queue it allows.
bool SocketControl::listensAlready(qintptr descriptor)
{
    BOOL listening = FALSE;
    int length = sizeof listening;
    return getsockopt(SOCKET(descriptor), SOL_SOCKET, SO_ACCEPTCONN, reinterpret_cast<char *>(&listening), &length) == 0
           && listening;
}

int SocketControl::largestBacklog()
{
    return SOMAXCONN;
}

SocketControl::Taken SocketControl::takeCaller(qintptr listener)
{
    const SOCKET caller = ::accept(SOCKET(listener), nullptr, nullptr);
    if (caller != INVALID_SOCKET) {
        // A socket taken from one that is watched for events inherits that watch and the
        // non-blocking mode; both are dropped, so that it arrives as on other systems.
        ::WSAEventSelect(caller, nullptr, 0);
        u_long blocking = 0;
        ::ioctlsocket(caller, FIONBIO, &blocking);
        return { Taken::Caller, qintptr(caller), {} };
    }
    const int error = ::WSAGetLastError();
    switch (error) {
    case WSAEWOULDBLOCK:
        return { Taken::NoneWaiting, -1, {} };
    case WSAECONNRESET:
    case WSAEINTR:
        return { Taken::Gone, -1, {} };
    default:
        return { Taken::Failed, -1, qt_error_string(error) };
    }
}
