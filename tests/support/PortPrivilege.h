#pragma once

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

// Takes the privilege to bind ports below 1024 (CAP_NET_BIND_SERVICE) away from this
// process for good, and from what it starts (root included): binding port 37 is then
// refused here as for an ordinary account. True when this process no longer holds it.
inline bool dropPortPrivilege()
{
    ::prctl(PR_CAPBSET_DROP, CAP_NET_BIND_SERVICE, 0, 0, 0);
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_LOWER, CAP_NET_BIND_SERVICE, 0, 0);
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const unsigned mask = ~(1u << CAP_NET_BIND_SERVICE); // below 32
    data[0].effective &= mask;
    data[0].permitted &= mask;
    data[0].inheritable &= mask;
    if (::syscall(SYS_capset, &header, data) != 0)
        return false;
    return ::syscall(SYS_capget, &header, data) == 0 && (data[0].effective & ~mask) == 0
           && ::prctl(PR_CAPBSET_READ, CAP_NET_BIND_SERVICE, 0, 0, 0) != 1;
}

// A listener on 127.0.0.1 at a port the system picks, as a raw descriptor (-1 on failure),
// and the port through `port`.
#include <netinet/in.h>
#include <sys/socket.h>

inline int loopbackListener(unsigned short &port)
{
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (descriptor < 0 || ::bind(descriptor, reinterpret_cast<sockaddr *>(&address), length) != 0
        || ::listen(descriptor, 8) != 0
        || ::getsockname(descriptor, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        if (descriptor >= 0)
            ::close(descriptor);
        return -1;
    }
    port = ntohs(address.sin_port);
    return descriptor;
}
