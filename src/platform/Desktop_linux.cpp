#include "platform/Desktop.h"

#include <QDeadlineTimer>
#include <QtGlobal>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// How long a display server across the network may take to accept the connection. A local
// one answers at once; one that does not answer in this time would leave Qt waiting too.
constexpr int TcpConnectWaitMs = 1000; // milliseconds
// X servers listen on TCP port 6000 + the display number.
constexpr int XTcpPortBase = 6000;
constexpr char XSocketFolder[] = "/tmp/.X11-unix/X";

// A socket descriptor closed when it goes out of scope.
class Socket
{
public:
    explicit Socket(int fd) : mFd(fd) { }
    ~Socket()
    {
        if (mFd >= 0)
            ::close(mFd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int fd() const { return mFd; }

private:
    int mFd;
};

// True when something listens on the local socket at this path; a leading NUL names one in
// the abstract namespace. A listener whose queue is full still counts: it is there.
bool localSocketAnswers(const QByteArray &path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) > sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.fd() < 0)
        return false;
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(path.size()));
    return ::connect(socket.fd(), reinterpret_cast<const sockaddr *>(&address), length) == 0 || errno == EAGAIN;
}

// True when a TCP connection to the host's port is accepted within the deadline, at any of
// the host's addresses.
bool tcpPortAnswers(const QByteArray &host, int port, const QDeadlineTimer &deadline)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *found = nullptr;
    if (::getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &found) != 0)
        return false;
    bool answered = false;
    for (const addrinfo *each = found; each && !answered && !deadline.hasExpired(); each = each->ai_next) {
        const Socket socket(::socket(each->ai_family, each->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, each->ai_protocol));
        if (socket.fd() < 0)
            continue;
        if (::connect(socket.fd(), each->ai_addr, each->ai_addrlen) == 0) {
            answered = true;
            break;
        }
        if (errno != EINPROGRESS)
            continue;
        pollfd waiting { socket.fd(), POLLOUT, 0 };
        if (::poll(&waiting, 1, int(deadline.remainingTime())) != 1)
            continue;
        int error = 0;
        socklen_t errorLength = sizeof error;
        answered = ::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &errorLength) == 0 && error == 0;
    }
    ::freeaddrinfo(found);
    return answered;
}

// True when the X server of DISPLAY ("[protocol/][host]:number[.screen]") accepts a
// connection: through its local socket (the abstract one first, as Xlib and xcb do) when no
// host is named, else over TCP. A form this does not know is left for Qt to try.
bool xServerAnswers(const QByteArray &display)
{
    const int colon = display.lastIndexOf(':');
    if (colon < 0)
        return true;
    QByteArray host = display.left(colon);
    QByteArray protocol;
    if (const int slash = host.indexOf('/'); slash >= 0 && !host.startsWith('/')) {
        protocol = host.left(slash);
        host = host.mid(slash + 1);
    }
    QByteArray number = display.mid(colon + 1);
    if (const int dot = number.indexOf('.'); dot >= 0)
        number.truncate(dot);
    bool isNumber = false;
    const int displayNumber = number.toInt(&isNumber);
    if (!isNumber || displayNumber < 0 || host.endsWith(':') || host.startsWith('/'))
        return true;
    if (host.isEmpty() || host == "unix" || protocol == "unix") {
        const QByteArray path = XSocketFolder + number;
        return localSocketAnswers('\0' + path) || localSocketAnswers(path);
    }
    return tcpPortAnswers(host, XTcpPortBase + displayNumber, QDeadlineTimer(TcpConnectWaitMs));
}

// True when the Wayland compositor of WAYLAND_DISPLAY accepts a connection: a socket of that
// name in the runtime folder, or at that path when it is absolute.
bool waylandCompositorAnswers(const QByteArray &name)
{
    if (name.startsWith('/'))
        return localSocketAnswers(name);
    const QByteArray runtimeFolder = qgetenv("XDG_RUNTIME_DIR");
    return !runtimeFolder.isEmpty() && localSocketAnswers(runtimeFolder + '/' + name);
}

} // namespace

DesktopStart findDesktop()
{
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const QByteArray x = qgetenv("DISPLAY");
    // A platform the user chose is used as chosen: Qt reports itself what it cannot reach.
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return DesktopStart { !x.isEmpty() || !wayland.isEmpty(), {} };
    DesktopStart start;
    if (!wayland.isEmpty() && waylandCompositorAnswers(wayland)) {
        start.available = true;
        start.platforms += "wayland;";
    }
    if (!x.isEmpty() && xServerAnswers(x)) {
        start.available = true;
        start.platforms += "xcb;";
    }
    start.platforms += "offscreen";
    return start;
}

bool desktopAvailable()
{
    return findDesktop().available;
}

QByteArray graphicalPlatforms()
{
    return findDesktop().platforms;
}
