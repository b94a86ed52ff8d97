#include "ListenRequest.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The kernel cuts the queue of waiting callers down to net.core.somaxconn; asking for the
// most lets an administrator's larger setting count without reading it.
constexpr int Backlog = INT_MAX;

int bindAndListen(int family, const sockaddr *address, socklen_t length)
{
    const int descriptor = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return -1;
    const int on = 1, off = 0;
    // As any listener of the program does: a restart finds the port free although earlier
    // connections still linger in TIME_WAIT.
    bool ready = ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
    if (ready && family == AF_INET6)
        ready = ::setsockopt(descriptor, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) == 0;
    if (ready && ::bind(descriptor, address, length) == 0 && ::listen(descriptor, Backlog) == 0)
        return descriptor;
    const int error = errno;
    ::close(descriptor);
    errno = error;
    return -1;
}

} // namespace

int openListener(unsigned short port)
{
    sockaddr_in6 any6 {};
    any6.sin6_family = AF_INET6;
    any6.sin6_addr = in6addr_any;
    any6.sin6_port = htons(port);
    const int descriptor = bindAndListen(AF_INET6, reinterpret_cast<const sockaddr *>(&any6), sizeof any6);
    // IPv6 switched off: at boot (no such family) or by sysctl (no such address).
    if (descriptor >= 0 || (errno != EAFNOSUPPORT && errno != EADDRNOTAVAIL))
        return descriptor;
    sockaddr_in any4 {};
    any4.sin_family = AF_INET;
    any4.sin_addr.s_addr = htonl(INADDR_ANY);
    any4.sin_port = htons(port);
    return bindAndListen(AF_INET, reinterpret_cast<const sockaddr *>(&any4), sizeof any4);
}

bool sendDescriptor(int channel, int descriptor)
{
    char byte = 'L';
    iovec data { &byte, 1 };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] {};
    msghdr message {};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr *rights = CMSG_FIRSTHDR(&message);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(rights), &descriptor, sizeof(int));
    ssize_t sent;
    do
        sent = ::sendmsg(channel, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == 1;
}
