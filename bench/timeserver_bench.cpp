// Load on the local Time Protocol server over loopback, and the same load on xinetd's
// built-in time service in the same run, for a ratio.
//
// The server runs on its own thread and event loop, as in the program; the load comes from
// other threads with blocking sockets, each making one short connection after another:
// connect, read until the server closes, check the answer. A connection counts as
//   answered - exactly four bytes, a time within two seconds of this machine's, then the
//              server's close;
//   refused  - the connection was refused;
//   short    - fewer than four bytes before the close;
//   bad      - more than four bytes, or a time that is off;
//   failed   - anything else (a time-out, a reset before connecting).
// Latency is from the start of connecting to the fourth byte.

#include "XinetdTimeService.h"
#include "common/ProgramState.h"
#include "platform/SystemClock.h"
#include "platform/TimeZoneBias.h"
#include "sync/TimeServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSysInfo>
#include <QTcpSocket>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int IoTimeout = 3000;        // milliseconds for one connect or read
constexpr qint64 AllowedSkew = 2;      // seconds between the answer and this machine's clock
constexpr int WarmUpConnections = 300; // per server, before measuring

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
};

struct RunResult {
    Outcome outcome;
    qint64 elapsedNs = 0;
    bool hitTimeLimit = false;

    void add(const RunResult &other)
    {
        outcome.add(other.outcome);
        elapsedNs += other.elapsedNs;
        hitTimeLimit = hitTimeLimit || other.hitTimeLimit;
    }

    double answersPerSecond() const { return elapsedNs > 0 ? outcome.answered * 1e9 / elapsedNs : 0.0; }
};

// Seconds since 1900-01-01 UTC now, as a Time Protocol server should answer.
qint64 nowAsTimeValue()
{
    return QDateTime::currentSecsSinceEpoch() + TimeProtocol::UnixEpochOffset;
}

// One connection: connect, read to the server's close, judge the answer.
void askOnce(quint16 port, Outcome &outcome)
{
    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!socket.waitForConnected(IoTimeout)) {
        if (socket.error() == QAbstractSocket::ConnectionRefusedError)
            ++outcome.refused;
        else
            ++outcome.failed;
        return;
    }
    QByteArray received;
    qint64 latency = -1;
    // waitForReadyRead() turns false when the server closes (or on a time-out); a server
    // that talks on is cut off long before it could keep a caller here.
    while (received.size() <= 64 * TimeProtocol::ValueSize && socket.waitForReadyRead(IoTimeout)) {
        received += socket.readAll();
        if (latency < 0 && received.size() >= TimeProtocol::ValueSize)
            latency = clock.nsecsElapsed();
    }
    received += socket.readAll();
    if (latency < 0 && received.size() >= TimeProtocol::ValueSize)
        latency = clock.nsecsElapsed();

    if (socket.state() != QAbstractSocket::UnconnectedState) {
        ++outcome.failed; // the server neither answered in full nor closed in time
    } else if (received.size() < TimeProtocol::ValueSize) {
        ++outcome.shortAnswers;
    } else if (received.size() > TimeProtocol::ValueSize) {
        ++outcome.bad;
    } else {
        const qint64 value = *TimeProtocol::decode(received);
        if (std::abs(value - nowAsTimeValue()) > AllowedSkew) {
            ++outcome.bad;
        } else {
            ++outcome.answered;
            outcome.latencies.push_back(latency);
        }
    }
}

// `connections` connections spread over `callers` threads, stopping early at the deadline.
RunResult load(quint16 port, int callers, qint64 connections, const QDeadlineTimer &deadline)
{
    std::atomic<qint64> next {0};
    std::vector<Outcome> outcomes(callers);
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < callers; ++i) {
        Outcome &outcome = outcomes[i];
        outcome.latencies.reserve(connections / callers + 1);
        // QThread rather than std::thread: Qt's sockets want a thread that Qt started.
        threads.emplace_back(QThread::create([&] {
            while (next.fetch_add(1) < connections && !deadline.hasExpired())
                askOnce(port, outcome);
        }));
        threads.back()->setObjectName(QStringLiteral("caller"));
    }
    QElapsedTimer clock;
    clock.start();
    for (auto &thread : threads)
        thread->start();
    for (auto &thread : threads)
        thread->wait();

    RunResult result;
    result.elapsedNs = clock.nsecsElapsed();
    result.hitTimeLimit = deadline.hasExpired();
    for (const Outcome &outcome : outcomes)
        result.outcome.add(outcome);
    return result;
}

// The local server on a thread of its own, with the real clock and time zone.
class ServerThread
{
public:
    ServerThread() : mClock(createSystemClock()), mZone(createTimeZoneBias()), mState(*mClock, *mZone)
    {
        mThread.setObjectName(QStringLiteral("timeserver"));
        mThread.start();
        mContext.moveToThread(&mThread);
        QMetaObject::invokeMethod(&mContext, [this] {
            mServer = std::make_unique<TimeServer>(mState, 0, QHostAddress(QHostAddress::LocalHost));
            mServer->tmrServer_Timer();
            mPort = mServer->State() == SocketControl::sckListening ? mServer->LocalPort() : 0;
        }, Qt::BlockingQueuedConnection);
    }

    ~ServerThread()
    {
        QMetaObject::invokeMethod(&mContext, [this] { mServer.reset(); }, Qt::BlockingQueuedConnection);
        mThread.quit();
        mThread.wait();
    }

    quint16 port() const { return mPort; }

private:
    std::unique_ptr<SystemClock> mClock;
    std::unique_ptr<TimeZoneBias> mZone;
    ProgramState mState;
    QThread mThread;
    QObject mContext; // lives on the server's thread; the server is made and ended there
    std::unique_ptr<TimeServer> mServer;
    quint16 mPort = 0;
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

double percentileUs(std::vector<qint64> &values, double fraction)
{
    if (values.empty())
        return 0.0;
    const size_t index = std::min(values.size() - 1, size_t(fraction * double(values.size())));
    std::nth_element(values.begin(), values.begin() + index, values.end());
    return values[index] / 1000.0;
}

void report(QTextStream &out, const QString &name, RunResult &run)
{
    Outcome &o = run.outcome;
    const double p50 = percentileUs(o.latencies, 0.50);
    const double p99 = percentileUs(o.latencies, 0.99);
    out << QStringLiteral("  %1 %2 %3 %4 %5 %6 %7 %8%9\n")
               .arg(name, -10)
               .arg(o.answered, 9)
               .arg(run.answersPerSecond(), 10, 'f', 0)
               .arg(p50, 9, 'f', 1)
               .arg(p99, 9, 'f', 1)
               .arg(o.refused, 8)
               .arg(o.shortAnswers, 6)
               .arg(o.bad + o.failed, 7)
               .arg(run.hitTimeLimit ? QStringLiteral("  (time limit reached)") : QString());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bench_timeserver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Many short Time Protocol connections on loopback against the local server and "
        "against xinetd's built-in time service."));
    parser.addHelpOption();
    const QCommandLineOption connectionsOption(QStringLiteral("connections"),
        QStringLiteral("Connections per server, concurrency and round (default 2000)."), QStringLiteral("n"),
        QStringLiteral("2000"));
    const QCommandLineOption roundsOption(QStringLiteral("rounds"),
        QStringLiteral("Rounds, the two servers taking turns (default 10)."), QStringLiteral("n"), QStringLiteral("10"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
        QStringLiteral("Time limit of the whole run, in seconds (default 180)."), QStringLiteral("s"),
        QStringLiteral("180"));
    parser.addOptions({connectionsOption, roundsOption, secondsOption});
    parser.process(app);

    const qint64 connections = std::max(1LL, parser.value(connectionsOption).toLongLong());
    const int rounds = std::max(1, parser.value(roundsOption).toInt());
    const int timeLimitMs = std::max(1, parser.value(secondsOption).toInt()) * 1000;

    QTextStream out(stdout);
    out << "Machine: " << cpuModel() << ", " << QThread::idealThreadCount() << " logical cores, "
        << QSysInfo::prettyProductName() << ", kernel " << QSysInfo::kernelVersion() << "\n";
    out << "Load: " << connections << " connections per server and concurrency in each of " << rounds
        << " rounds (the servers taking turns), time limit " << timeLimitMs / 1000 << " s\n";
    out.flush();

    XinetdTimeService xinetd;
    QString why;
    if (!xinetd.start(&why)) {
        out << "Cannot start xinetd's time service: " << why << "\n";
        return 2;
    }
    ServerThread ours;
    if (ours.port() == 0) {
        out << "The local server did not listen\n";
        return 2;
    }

    struct Target {
        QString name;
        quint16 port;
    };
    const Target targets[] = {{QStringLiteral("Brindlecot"), ours.port()}, {QStringLiteral("xinetd"), xinetd.port()}};
    const QDeadlineTimer deadline(timeLimitMs);
    for (const Target &target : targets)
        load(target.port, 1, WarmUpConnections, deadline);

    bool targetMet = true;
    for (const int callers : {1, 8}) {
        RunResult totals[2];
        for (int round = 0; round < rounds; ++round) {
            // Alternate who goes first, so neither always meets a warmer or colder machine.
            for (int k = 0; k < 2; ++k) {
                const int t = (round % 2 == 0) ? k : 1 - k;
                totals[t].add(load(targets[t].port, callers, connections, deadline));
            }
        }
        out << "\n" << callers << (callers == 1 ? " caller (sequential)" : " concurrent callers") << ":\n";
        out << "  server       answered  answers/s   p50 us    p99 us  refused  short  other\n";
        for (int t = 0; t < 2; ++t)
            report(out, targets[t].name, totals[t]);
        const double ratio = totals[1].answersPerSecond() > 0
            ? totals[0].answersPerSecond() / totals[1].answersPerSecond() : 0.0;
        out << QStringLiteral("  ratio Brindlecot/xinetd: %1\n").arg(ratio, 0, 'f', 2);
        const Outcome &o = totals[0].outcome;
        targetMet = targetMet && ratio >= 1.0 && o.refused == 0 && o.shortAnswers == 0 && o.bad == 0 && o.failed == 0;
        out.flush();
    }
    out << "\nTarget (at least xinetd's answers per second, nothing refused, short or bad): "
        << (targetMet ? "met" : "NOT met") << "\n";
    return 0;
}
