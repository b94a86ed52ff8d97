#include "platform/SocketControl.h"

#include <QtGlobal>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int DrainReads = 16;        // reads of unread input before the close, at most
constexpr size_t DrainChunk = 16384;  // bytes per read

} // namespace

// The caller's descriptor as the system handed it over: blocking, so every call here asks
// not to wait.
bool SocketControl::AnswerRequest(qintptr requestID, const QByteArray &data)
{
    const int descriptor = int(requestID);
    bool complete = true;
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(descriptor, data.constData() + sent, size_t(data.size() - sent),
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            complete = false; // the caller is gone, or the system would not take it now
            break;
        }
        sent += n;
    }
    // Unread input would make the system answer the close with a reset, which can cost
    // the caller the answer just sent.
    char sink[DrainChunk];
    for (int i = 0; i < DrainReads; ++i) {
        const ssize_t n = ::recv(descriptor, sink, sizeof sink, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
    }
    ::close(descriptor);
    return complete;
}

// Qt closes the descriptor itself on some failures; a number it has closed already is not
// closed twice, which could end some other connection that has taken the number since.
void SocketControl::closeDescriptor(qintptr requestID)
{
    if (::fcntl(int(requestID), F_GETFD) != -1)
        ::close(int(requestID));
}

bool SocketControl::listensAlready(qintptr descriptor)
{
    int listening = 0;
    socklen_t length = sizeof listening;
    return ::getsockopt(int(descriptor), SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 && listening != 0;
}

// The system cuts a longer backlog down to net.core.somaxconn, which an administrator may
// have raised beyond SOMAXCONN.
int SocketControl::largestBacklog()
{
    int largest = SOMAXCONN;
    if (FILE *setting = std::fopen("/proc/sys/net/core/somaxconn", "r")) {
        int configured = 0;
        if (std::fscanf(setting, "%d", &configured) == 1 && configured > largest)
            largest = configured;
        std::fclose(setting);
    }
    return largest;
}

SocketControl::Taken SocketControl::takeCaller(qintptr listener)
{
    for (;;) {
        // Blocking, as Qt's own accept hands callers over; AnswerRequest and Accept expect it.
        const int caller = ::accept4(int(listener), nullptr, nullptr, SOCK_CLOEXEC);
        if (caller >= 0)
            return { Taken::Caller, caller, {} };
        switch (errno) {
        case EINTR:
            continue;
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
            return { Taken::NoneWaiting, -1, {} };
        // A caller that was gone before it was taken, or an error of its network that
        // accept(2) passes on: the listener itself is fine.
        case ECONNABORTED:
        case EPROTO:
        case ENOPROTOOPT:
        case EPERM: // refused by a firewall rule
        case ENETDOWN:
        case ENETUNREACH:
        case EHOSTDOWN:
        case EHOSTUNREACH:
        case ENONET:
        case EOPNOTSUPP:
            return { Taken::Gone, -1, {} };
        default:
            return { Taken::Failed, -1, qt_error_string(errno) };
        }
    }
}
