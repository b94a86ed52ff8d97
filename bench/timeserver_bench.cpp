// Bursts of callers on loopback against the local Time Protocol server, beside a bare
// accept-write-close loop with the same listen backlog, in the same run, for a ratio; and
// one caller and 8 against xinetd's built-in time service as well.
//
// The servers run on threads of their own; the local server on its own event loop, as in
// the program. The load comes from one thread with non-blocking sockets that keeps a given
// number of callers connecting at once: each connects, reads to the server's close and
// checks the answer, and another caller starts in its place. A connection counts as
//   answered - exactly four bytes, a time within two seconds of this machine's, then the
//              server's close;
//   refused  - the connection was refused;
//   short    - fewer than four bytes before the close;
//   bad      - more than four bytes, or a time that is off;
//   failed   - anything else (a reset, no answer within the time-out).
// Latency is from the start of connecting to the fourth byte. A caller whose connection
// attempt the system dropped retries after a second, and shows as a latency above one.
//
// While the local server is under load, its event loop also runs a one-second timer, as
// the program's countdown, and a notifier on a pipe, as the program's termination signals,
// written to every 50 ms from another thread: the bench reports how late each was served.

#include "XinetdTimeService.h"
#include "state/ProgramState.h"
#include "platform/SystemClock.h"
#include "platform/TimeZoneBias.h"
#include "sync/TimeServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr qint64 CallerTimeout = 5'000'000'000; // nanoseconds a caller waits at most
constexpr qint64 AllowedSkew = 2;               // seconds between the answer and this machine's clock
constexpr int WarmUpConnections = 2000;         // per server, before measuring
constexpr int ProbeInterval = 50;               // milliseconds between two signal probes
constexpr qint64 OneSecond = 1'000'000'000;     // nanoseconds

qint64 monotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * OneSecond + now.tv_nsec;
}

// Seconds since 1900-01-01 UTC now, as a Time Protocol server should answer.
qint64 nowAsTimeValue()
{
    return QDateTime::currentSecsSinceEpoch() + TimeProtocol::UnixEpochOffset;
}

int systemBacklog()
{
    int backlog = SOMAXCONN;
    QFile setting(QStringLiteral("/proc/sys/net/core/somaxconn"));
    if (setting.open(QIODevice::ReadOnly))
        backlog = std::max(backlog, setting.readAll().trimmed().toInt());
    return backlog;
}

struct Outcome {
    qint64 answered = 0;
    qint64 refused = 0;
    qint64 shortAnswers = 0;
    qint64 bad = 0;
    qint64 failed = 0;
    std::vector<qint64> latencies; // nanoseconds, answered connections only

    void add(const Outcome &other)
    {
        answered += other.answered;
        refused += other.refused;
        shortAnswers += other.shortAnswers;
        bad += other.bad;
        failed += other.failed;
        latencies.insert(latencies.end(), other.latencies.begin(), other.latencies.end());
    }
    qint64 faults() const { return refused + shortAnswers + bad + failed; }
};

struct RunResult {
    Outcome outcome;
    qint64 elapsedNs = 0;
    bool hitTimeLimit = false;
    qint64 timerLateNs = 0;  // the local server's one-second timer, worst lateness
    qint64 signalLateNs = 0; // its pipe notifier, worst delay

    void add(const RunResult &other)
    {
        outcome.add(other.outcome);
        elapsedNs += other.elapsedNs;
        hitTimeLimit = hitTimeLimit || other.hitTimeLimit;
        timerLateNs = std::max(timerLateNs, other.timerLateNs);
        signalLateNs = std::max(signalLateNs, other.signalLateNs);
    }
    double answersPerSecond() const { return elapsedNs > 0 ? outcome.answered * 1e9 / elapsedNs : 0.0; }
};

// `connections` connections, `callers` of them at any moment, from this thread.
RunResult load(quint16 port, int callers, qint64 connections, const QDeadlineTimer &deadline)
{
    struct Caller {
        int fd = -1;
        qint64 started = 0;
        qint64 fourthByte = 0;
        bool connected = false;
        QByteArray received;
    };
    RunResult result;
    Outcome &outcome = result.outcome;
    outcome.latencies.reserve(size_t(connections));
    const int poll = epoll_create1(EPOLL_CLOEXEC);
    std::vector<Caller> pool(static_cast<size_t>(callers));
    sockaddr_in server {};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    qint64 started = 0;
    int open = 0;

    auto begin = [&](int slot) {
        Caller &c = pool[size_t(slot)];
        c = Caller();
        c.started = monotonicNs();
        ++started;
        c.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (c.fd < 0) {
            ++outcome.failed;
            return;
        }
        if (connect(c.fd, reinterpret_cast<sockaddr *>(&server), sizeof server) != 0 && errno != EINPROGRESS) {
            ++(errno == ECONNREFUSED ? outcome.refused : outcome.failed);
            ::close(c.fd);
            c.fd = -1;
            return;
        }
        epoll_event event {};
        event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP;
        event.data.u32 = quint32(slot);
        epoll_ctl(poll, EPOLL_CTL_ADD, c.fd, &event);
        ++open;
    };
    auto end = [&](int slot, qint64 *counter) {
        Caller &c = pool[size_t(slot)];
        if (counter) {
            ++*counter;
        } else if (c.received.size() < TimeProtocol::ValueSize) {
            ++outcome.shortAnswers;
        } else if (c.received.size() > TimeProtocol::ValueSize
                   || std::abs(qint64(*TimeProtocol::decode(c.received)) - nowAsTimeValue()) > AllowedSkew) {
            ++outcome.bad;
        } else {
            ++outcome.answered;
            outcome.latencies.push_back(c.fourthByte - c.started);
        }
        ::close(c.fd); // also leaves the epoll set
        c.fd = -1;
        --open;
    };
    auto more = [&] { return started < connections && !deadline.hasExpired(); };

    const qint64 start = monotonicNs();
    for (int i = 0; i < callers && more(); ++i)
        begin(i);
    std::vector<epoll_event> events(static_cast<size_t>(callers));
    qint64 lastSweep = start;
    while (open > 0 || (more() && open < callers)) {
        const int n = epoll_wait(poll, events.data(), callers, 100);
        for (int k = 0; k < n; ++k) {
            const int slot = int(events[size_t(k)].data.u32);
            Caller &c = pool[size_t(slot)];
            if (c.fd < 0)
                continue;
            if (!c.connected) {
                int error = 0;
                socklen_t size = sizeof error;
                getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &size);
                if (error != 0) {
                    end(slot, error == ECONNREFUSED ? &outcome.refused : &outcome.failed);
                    if (more())
                        begin(slot);
                    continue;
                }
                if (!(events[size_t(k)].events & (EPOLLOUT | EPOLLIN | EPOLLRDHUP)))
                    continue;
                c.connected = true;
                epoll_event event {};
                event.events = EPOLLIN | EPOLLRDHUP;
                event.data.u32 = quint32(slot);
                epoll_ctl(poll, EPOLL_CTL_MOD, c.fd, &event);
            }
            char buffer[64];
            for (;;) {
                const ssize_t got = ::read(c.fd, buffer, sizeof buffer);
                if (got > 0) {
                    c.received.append(buffer, got);
                    if (c.fourthByte == 0 && c.received.size() >= TimeProtocol::ValueSize)
                        c.fourthByte = monotonicNs();
                    if (c.received.size() <= 64 * TimeProtocol::ValueSize)
                        continue;
                    end(slot, &outcome.bad); // talks on
                } else if (got == 0) {
                    end(slot, nullptr);
                } else if (errno == EAGAIN) {
                    break;
                } else {
                    end(slot, errno == ECONNREFUSED ? &outcome.refused : &outcome.failed);
                }
                if (more())
                    begin(slot);
                break;
            }
        }
        // Callers that waited too long give up.
        const qint64 now = monotonicNs();
        if (now - lastSweep > 100'000'000) {
            lastSweep = now;
            for (int slot = 0; slot < callers; ++slot) {
                if (pool[size_t(slot)].fd >= 0 && now - pool[size_t(slot)].started > CallerTimeout) {
                    end(slot, &outcome.failed);
                    if (more())
                        begin(slot);
                }
            }
        }
        for (int slot = 0; slot < callers && open < callers && more(); ++slot) {
            if (pool[size_t(slot)].fd < 0)
                begin(slot);
        }
    }
    result.elapsedNs = monotonicNs() - start;
    result.hitTimeLimit = deadline.hasExpired();
    ::close(poll);
    return result;
}

// A listening socket on 127.0.0.1 and a free port; -1 on failure.
int listenOnLoopback(int backlog, quint16 &port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), size) != 0 || listen(fd, backlog) != 0
        || getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

// The yardstick: accept, write the four bytes, close; nothing else.
class BareLoop
{
public:
    explicit BareLoop(int backlog)
    {
        mListener = listenOnLoopback(backlog, mPort);
        if (mListener >= 0)
            mThread = std::thread([this] { run(); });
    }
    ~BareLoop()
    {
        if (mListener < 0)
            return;
        ::shutdown(mListener, SHUT_RDWR); // wakes the blocked accept
        mThread.join();
        ::close(mListener);
    }
    quint16 port() const { return mListener >= 0 ? mPort : 0; }

private:
    void run()
    {
        for (;;) {
            const int caller = accept4(mListener, nullptr, nullptr, SOCK_CLOEXEC);
            if (caller < 0) {
                if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE || errno == ENFILE)
                    continue;
                return;
            }
            const QByteArray answer = TimeProtocol::encode(quint32(nowAsTimeValue()));
            (void)!::write(caller, answer.constData(), size_t(answer.size()));
            ::close(caller);
        }
    }

    int mListener = -1;
    quint16 mPort = 0;
    std::thread mThread;
};

// The local server on a thread and event loop of its own, with the real clock and time
// zone, and the two probes of that event loop's promptness.
class ServerThread
{
public:
    ServerThread() : mClock(createSystemClock()), mZone(createTimeZoneBias()), mState(*mClock, *mZone)
    {
        if (::pipe2(mPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            mPipe[0] = mPipe[1] = -1;
        mThread.setObjectName(QStringLiteral("timeserver"));
        mThread.start();
        mContext.moveToThread(&mThread);
        QMetaObject::invokeMethod(&mContext, [this] {
            mLocalServer = std::make_unique<TimeServer>(mState, 0, QHostAddress(QHostAddress::LocalHost));
            mLocalServer->tmrServer_Timer();
            mPort = mLocalServer->State() == SocketControl::sckListening ? mLocalServer->LocalPort() : 0;

            // As the program's countdown: a one-second timer. A precise one, unlike the
            // program's: a timer of the default (coarse) kind moves each expiry by up to 5 %
            // to line up on a boundary, so its first ticks would show as up to 50 ms late
            // whatever the load; a precise one is late only when the event loop is held.
            mCountdown = new QTimer(&mContext);
            mCountdown->setTimerType(Qt::PreciseTimer);
            mCountdown->setInterval(1000);
            QObject::connect(mCountdown, &QTimer::timeout, &mContext, [this] {
                const qint64 now = monotonicNs();
                if (mLastTick > 0)
                    raise(mTimerLate, now - mLastTick - OneSecond);
                mLastTick = now;
            });
            mCountdown->start();
            // As the program's termination signals: a notifier on a pipe.
            if (mPipe[0] >= 0) {
                auto *notifier = new QSocketNotifier(mPipe[0], QSocketNotifier::Read, &mContext);
                QObject::connect(notifier, &QSocketNotifier::activated, &mContext, [this] {
                    qint64 sent = 0;
                    while (::read(mPipe[0], &sent, sizeof sent) == sizeof sent)
                        raise(mSignalLate, monotonicNs() - sent);
                });
            }
        }, Qt::BlockingQueuedConnection);
        mProbe = std::thread([this] {
            while (!mStop.load()) {
                const qint64 sent = monotonicNs();
                (void)!::write(mPipe[1], &sent, sizeof sent);
                std::this_thread::sleep_for(std::chrono::milliseconds(ProbeInterval));
            }
        });
    }

    ~ServerThread()
    {
        mStop = true;
        mProbe.join();
        QMetaObject::invokeMethod(&mContext, [this] {
            mLocalServer.reset();
            delete mCountdown;
        }, Qt::BlockingQueuedConnection);
        mThread.quit();
        mThread.wait();
        ::close(mPipe[0]);
        ::close(mPipe[1]);
    }

    quint16 port() const { return mPort; }

    // The worst lateness of each probe since the last call.
    void takeLateness(qint64 &timer, qint64 &signal)
    {
        timer = mTimerLate.exchange(0);
        signal = mSignalLate.exchange(0);
    }

private:
    static void raise(std::atomic<qint64> &worst, qint64 value)
    {
        qint64 seen = worst.load();
        while (value > seen && !worst.compare_exchange_weak(seen, value)) { }
    }

    std::unique_ptr<SystemClock> mClock;
    std::unique_ptr<TimeZoneBias> mZone;
    ProgramState mState;
    QThread mThread;
    QObject mContext; // lives on the server's thread; the server is made and ended there
    std::unique_ptr<TimeServer> mLocalServer;
    QTimer *mCountdown = nullptr;
    quint16 mPort = 0;
    int mPipe[2] = { -1, -1 };
    qint64 mLastTick = 0;
    std::atomic<qint64> mTimerLate {0};
    std::atomic<qint64> mSignalLate {0};
    std::atomic<bool> mStop {false};
    std::thread mProbe;
};

QString cpuModel()
{
    // Files under /proc report no size, so read to the end rather than test atEnd().
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : info.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
        }
    }
    return QSysInfo::currentCpuArchitecture();
}

double percentileMs(std::vector<qint64> &values, double fraction)
{
    if (values.empty())
        return 0.0;
    const size_t index = std::min(values.size() - 1, size_t(fraction * double(values.size())));
    std::nth_element(values.begin(), values.begin() + qsizetype(index), values.end());
    return values[index] / 1e6;
}

void report(QTextStream &out, const QString &name, RunResult &run)
{
    Outcome &o = run.outcome;
    const double p50 = percentileMs(o.latencies, 0.50);
    const double p99 = percentileMs(o.latencies, 0.99);
    const double worst = o.latencies.empty() ? 0.0 : *std::max_element(o.latencies.begin(), o.latencies.end()) / 1e6;
    out << QStringLiteral("  %1 %2 %3 %4 %5 %6 %7%8\n")
               .arg(name, -10)
               .arg(o.answered, 9)
               .arg(run.answersPerSecond(), 10, 'f', 0)
               .arg(p50, 8, 'f', 2)
               .arg(p99, 8, 'f', 2)
               .arg(worst, 9, 'f', 2)
               .arg(o.faults(), 7)
               .arg(run.hitTimeLimit ? QStringLiteral("  (time limit reached)") : QString());
}

// Enough descriptors for every caller and the server's side of it.
bool raiseDescriptorLimit(int needed)
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    if (limit.rlim_cur >= rlim_t(needed))
        return true;
    limit.rlim_cur = std::min<rlim_t>(std::max<rlim_t>(needed, limit.rlim_cur), limit.rlim_max);
    if (limit.rlim_cur < rlim_t(needed) && limit.rlim_max != RLIM_INFINITY) {
        limit.rlim_max = rlim_t(needed); // raising the hard limit needs the privilege to
        limit.rlim_cur = rlim_t(needed);
    }
    return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bench_timeserver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Bursts of Time Protocol callers on loopback against the local server and a bare "
        "accept loop with the same backlog, and against xinetd's built-in time service."));
    parser.addHelpOption();
    const QCommandLineOption connectionsOption(QStringLiteral("connections"),
        QStringLiteral("Connections per server, concurrency and round (default 4000)."), QStringLiteral("n"),
        QStringLiteral("4000"));
    const QCommandLineOption roundsOption(QStringLiteral("rounds"),
        QStringLiteral("Rounds, the servers taking turns (default 8)."), QStringLiteral("n"), QStringLiteral("8"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
        QStringLiteral("Time limit of the whole run, in seconds (default 240)."), QStringLiteral("s"),
        QStringLiteral("240"));
    const QCommandLineOption noXinetdOption(QStringLiteral("no-xinetd"), QStringLiteral("Leave xinetd out."));
    parser.addOptions({connectionsOption, roundsOption, secondsOption, noXinetdOption});
    parser.process(app);

    const qint64 connections = std::max(1LL, parser.value(connectionsOption).toLongLong());
    const int rounds = std::max(1, parser.value(roundsOption).toInt());
    const int timeLimitMs = std::max(1, parser.value(secondsOption).toInt()) * 1000;
    const int concurrencies[] = {1, 8, 64, 256, 1024};
    const int backlog = systemBacklog();

    QTextStream out(stdout);
    if (!raiseDescriptorLimit(2 * 1024 + 256)) {
        out << "Cannot raise the limit of open files to " << 2 * 1024 + 256 << "\n";
        return 2;
    }
    out << "Machine: " << cpuModel() << ", " << QThread::idealThreadCount() << " logical cores, "
        << QSysInfo::prettyProductName() << ", kernel " << QSysInfo::kernelVersion() << "\n";
    out << "Load: " << connections << " connections per server and concurrency in each of " << rounds
        << " rounds (the servers taking turns), listen backlog " << backlog << ", time limit "
        << timeLimitMs / 1000 << " s\n";
    out.flush();

    std::unique_ptr<XinetdTimeService> xinetd;
    if (!parser.isSet(noXinetdOption)) {
        xinetd = std::make_unique<XinetdTimeService>();
        QString why;
        if (!xinetd->start(&why)) {
            out << "Cannot start xinetd's time service (" << why << "); going on without it\n";
            xinetd.reset();
        }
    }
    ServerThread ours;
    BareLoop bare(backlog);
    if (ours.port() == 0 || bare.port() == 0) {
        out << "A server did not listen\n";
        return 2;
    }

    struct Target {
        QString name;
        quint16 port;
        int upTo; // the largest concurrency it is measured at
    };
    std::vector<Target> targets = {{QStringLiteral("Brindlecot"), ours.port(), 1024},
                                   {QStringLiteral("bare loop"), bare.port(), 1024}};
    if (xinetd)
        targets.push_back({QStringLiteral("xinetd"), xinetd->port(), 8});
    const QDeadlineTimer deadline(timeLimitMs);
    for (const Target &target : targets)
        load(target.port, 1, WarmUpConnections, deadline);

    bool targetMet = true;
    QString table;
    QTextStream summary(&table);
    for (const int callers : concurrencies) {
        std::vector<RunResult> totals(targets.size());
        for (int round = 0; round < rounds; ++round) {
            // Alternate who goes first, so neither always meets a warmer or colder machine.
            for (size_t k = 0; k < targets.size(); ++k) {
                const size_t t = (round % 2 == 0) ? k : targets.size() - 1 - k;
                if (callers > targets[t].upTo)
                    continue;
                qint64 ignored = 0;
                if (t == 0)
                    ours.takeLateness(ignored, ignored);
                RunResult run = load(targets[t].port, callers, connections, deadline);
                if (t == 0)
                    ours.takeLateness(run.timerLateNs, run.signalLateNs);
                totals[t].add(run);
            }
        }
        out << "\n" << callers << (callers == 1 ? " caller at a time" : " callers at once") << ":\n";
        out << "  server       answered  answers/s   p50 ms   p99 ms  worst ms  faults\n";
        for (size_t t = 0; t < targets.size(); ++t) {
            if (callers <= targets[t].upTo)
                report(out, targets[t].name, totals[t]);
        }
        const double ratio = totals[1].answersPerSecond() > 0
            ? totals[0].answersPerSecond() / totals[1].answersPerSecond() : 0.0;
        std::vector<qint64> &ourLatencies = totals[0].outcome.latencies;
        const qint64 worst = ourLatencies.empty() ? 0 : *std::max_element(ourLatencies.begin(), ourLatencies.end());
        std::vector<qint64> &bareLatencies = totals[1].outcome.latencies;
        const qint64 bareWorst = bareLatencies.empty() ? 0 : *std::max_element(bareLatencies.begin(), bareLatencies.end());
        out << QStringLiteral("  ratio Brindlecot/bare loop: %1; while loaded, the one-second timer was at most "
                              "%2 ms late and the signal pipe at most %3 ms\n")
                   .arg(ratio, 0, 'f', 2)
                   .arg(totals[0].timerLateNs / 1e6, 0, 'f', 1)
                   .arg(totals[0].signalLateNs / 1e6, 0, 'f', 1);
        summary << QStringLiteral("| %1 | %2 | %3 | %4 | %5 ms | %6 ms | %7 | %8 ms / %9 ms |\n")
                       .arg(callers)
                       .arg(totals[0].answersPerSecond(), 0, 'f', 0)
                       .arg(totals[1].answersPerSecond(), 0, 'f', 0)
                       .arg(ratio, 0, 'f', 2)
                       .arg(worst / 1e6, 0, 'f', 1)
                       .arg(bareWorst / 1e6, 0, 'f', 1)
                       .arg(totals[0].outcome.faults())
                       .arg(totals[0].timerLateNs / 1e6, 0, 'f', 0)
                       .arg(totals[0].signalLateNs / 1e6, 0, 'f', 0);
        // One caller at a time costs the server an event-loop wake-up that the bare loop does
        // not pay; from eight on it must keep up with the bare loop.
        const double leastRatio = callers == 1 ? 0.95 : 1.0;
        const qint64 latestProbe = OneSecond / 100;
        targetMet = targetMet && ratio >= leastRatio && totals[0].outcome.faults() == 0 && worst < OneSecond
                    && totals[0].timerLateNs <= latestProbe && totals[0].signalLateNs <= latestProbe
                    && !totals[0].hitTimeLimit;
        out.flush();
    }
    out << "\nSummary (Markdown):\n"
        << "| callers at once | Brindlecot answers/s | bare loop answers/s | ratio | worst latency, Brindlecot "
           "| worst latency, bare loop | faults, Brindlecot | timer / signal late at most |\n"
        << "|---|---|---|---|---|---|---|---|\n"
        << table;
    out << "\nTarget (at least 0.95 of the bare loop's answers per second at one caller and 1.0 from eight "
           "on, no fault, no caller waiting a second, the timer and the signal late by at most 10 ms): "
        << (targetMet ? "met" : "NOT met") << "\n";
    return 0;
}
