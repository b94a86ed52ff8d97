#include "platform/PortHelper.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace PortHelper {

namespace {

// Waits for the child's end, at most `timeLimit` milliseconds, then ends it.
void reap(pid_t child, int timeLimit)
{
    QElapsedTimer clock;
    clock.start();
    constexpr int Step = 10; // milliseconds between looks
    while (clock.elapsed() < timeLimit) {
        const pid_t done = ::waitpid(child, nullptr, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR))
            return;
        ::usleep(Step * 1000);
    }
    ::kill(child, SIGKILL);
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) { }
}

} // namespace

qintptr receiveDescriptor(int channel, int timeLimit)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = timeLimit - clock.elapsed();
        if (left <= 0)
            return -1;
        pollfd wait { channel, POLLIN, 0 };
        const int ready = ::poll(&wait, 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return -1;
        break;
    }

    char byte = 0;
    iovec data { &byte, 1 };
    // Room for more than one, so that extra descriptors are taken (and closed) rather
    // than cutting the message short.
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))] {};
    msghdr message {};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t received;
    do
        received = ::recvmsg(channel, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    while (received < 0 && errno == EINTR);
    if (received <= 0)
        return -1;

    int descriptor = -1;
    for (cmsghdr *part = CMSG_FIRSTHDR(&message); part; part = CMSG_NXTHDR(&message, part)) {
        if (part->cmsg_level != SOL_SOCKET || part->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t count = (part->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int passed;
            std::memcpy(&passed, CMSG_DATA(part) + i * sizeof(int), sizeof(int));
            if (descriptor < 0)
                descriptor = passed;
            else
                ::close(passed);
        }
    }
    if (descriptor >= 0 && (message.msg_flags & MSG_CTRUNC)) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

qintptr askListener(const QString &helper, int timeLimit)
{
    const QByteArray path = QFile::encodeName(helper);
    // An account outside the helper's group may not run it: no need to try.
    if (helper.isEmpty() || ::access(path.constData(), X_OK) != 0)
        return -1;

    int channel[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // dup2 onto standard output clears close-on-exec for the helper's end only.
    posix_spawn_file_actions_adddup2(&actions, channel[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char request[] = "listen";
    char *const arguments[] = { const_cast<char *>(path.constData()), request, nullptr };
    char *const environment[] = { nullptr };
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, path.constData(), &actions, nullptr, arguments, environment);
    posix_spawn_file_actions_destroy(&actions);
    ::close(channel[1]);
    if (spawned != 0) {
        ::close(channel[0]);
        return -1;
    }
    // The helper closes its end when it ends, so a refusal shows as the end of the stream.
    const qintptr descriptor = receiveDescriptor(channel[0], timeLimit);
    ::close(channel[0]);
    reap(child, descriptor >= 0 ? timeLimit : 0);
    return descriptor;
}

} // namespace PortHelper
