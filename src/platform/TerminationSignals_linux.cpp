#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> HandledSignals = { SIGTERM, SIGINT, SIGHUP };

// The write end of the pipe from the signal handler to the event loop: the program's one
// piece of global mutable state. A signal handler is called with nothing but the signal's
// number and the signal belongs to the whole process, so the handler can reach the pipe only
// through a global. It is -1 while no TerminationSignals is installed; install() claims it,
// which also keeps a second object from taking over.
std::atomic<int> handlerPipe { -1 };
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may use only lock-free atomics");

// Only async-signal-safe calls here: one non-blocking write. When the pipe is full, earlier
// bytes already wake the event loop, so a lost byte loses nothing.
void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const int fd = handlerPipe.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

struct TerminationSignals::Private {
    int readFd = -1;
    int writeFd = -1;
    QSocketNotifier *notifier = nullptr;
    std::array<struct sigaction, HandledSignals.size()> previous {};
    std::array<bool, HandledSignals.size()> changed {};
    bool installed = false;
};

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) { }

TerminationSignals::~TerminationSignals()
{
    if (!d->installed)
        return;
    for (size_t i = 0; i < HandledSignals.size(); ++i) {
        if (d->changed[i])
            ::sigaction(HandledSignals[i], &d->previous[i], nullptr);
    }
    delete d->notifier;
    handlerPipe.store(-1);
    ::close(d->writeFd);
    ::close(d->readFd);
}

bool TerminationSignals::install()
{
    if (d->installed)
        return true;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    int expected = -1;
    if (!handlerPipe.compare_exchange_strong(expected, fds[1])) {
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    d->readFd = fds[0];
    d->writeFd = fds[1];

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // other code's system calls go on undisturbed
    bool ok = true;
    for (size_t i = 0; i < HandledSignals.size() && ok; ++i) {
        struct sigaction current {};
        if (::sigaction(HandledSignals[i], nullptr, &current) != 0) {
            ok = false;
        } else if (current.sa_handler != SIG_IGN) {
            d->previous[i] = current;
            ok = ::sigaction(HandledSignals[i], &action, nullptr) == 0;
            d->changed[i] = ok;
        }
    }
    if (!ok) {
        for (size_t i = 0; i < HandledSignals.size(); ++i) {
            if (d->changed[i])
                ::sigaction(HandledSignals[i], &d->previous[i], nullptr);
            d->changed[i] = false;
        }
        handlerPipe.store(-1);
        ::close(d->readFd);
        ::close(d->writeFd);
        d->readFd = d->writeFd = -1;
        return false;
    }

    d->notifier = new QSocketNotifier(d->readFd, QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, [this] {
        // Several signals may have piled up; they make one request.
        unsigned char buffer[64];
        bool any = false;
        for (int round = 0; round < 64; ++round) {
            const ssize_t n = ::read(d->readFd, buffer, sizeof buffer);
            if (n > 0)
                any = true;
            if (n < ssize_t(sizeof buffer) && !(n < 0 && errno == EINTR))
                break;
        }
        if (any)
            emit closeRequested();
    });
    d->installed = true;
    return true;
}
