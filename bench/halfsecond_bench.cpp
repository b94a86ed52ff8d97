// How close the automatic client sets the clock to a server's true time: several hundred
// synchronizations through the real AutoClient and answer rule against a Time Protocol
// server on loopback, each at a random sub-second phase of the server's time, with the
// fake clock a few seconds off so that every answer is applied.
//
// The server's true time runs on the monotonic clock with a random offset drawn anew for
// each synchronization; it answers the whole second of it, cut down, as RFC 868 does. The
// fake clock records the instant it is told to take and when. The distance is between that
// instant and the server's true time at that moment, for the program's rule (value + 0.5 s
// + half the time from the start of the connection to the answer) and for the whole-second
// rule (the value itself) of the same synchronization.

#include "FakeTimeZoneBias.h"
#include "platform/SystemClock.h"
#include "state/ProgramState.h"
#include "sync/AutoClient.h"
#include "sync/TimeProtocol.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <vector>

namespace {

constexpr int SyncWait = 3000; // milliseconds, bound of each synchronization

// The server's true time in milliseconds on the program's serial scale (bias 0), running on
// the monotonic clock from `offset`.
struct TrueTime {
    QElapsedTimer running;
    qint64 offset = 0; // milliseconds

    qint64 now() const { return offset + running.nsecsElapsed() / 1'000'000; }
    double nowExact() const { return double(offset) + double(running.nsecsElapsed()) / 1e6; }
};

// A clock a few seconds off the server's, which records the instant it is told to take and
// the server's true time at that moment.
class RecordingClock final : public SystemClock
{
public:
    explicit RecordingClock(const TrueTime &truth) : mTruth(truth) { }

    Date now() const override { return current; }
    qint64 utcSeconds() const override
    {
        constexpr qint64 UnixEpochOnDateScale = 25569 * DateTime::SecondsPerDay; // seconds, bias 0
        return *DateTime::toSerialSeconds(current) - UnixEpochOnDateScale;
    }

    int setLocalDateTime(Date target, int milliseconds, qint32 /*bias*/) override
    {
        trueAtSet = mTruth.nowExact();
        setTo = double(*DateTime::toSerialSeconds(target)) * 1000.0 + milliseconds;
        current = target;
        return 0;
    }

    Date current = DateTime::Never;
    std::optional<double> setTo;     // milliseconds
    double trueAtSet = 0;            // milliseconds

private:
    const TrueTime &mTruth;
};

struct Figures {
    double mean = 0, max = 0; // seconds
};

Figures figures(const std::vector<double> &distances)
{
    Figures result;
    for (const double d : distances) {
        result.mean += d;
        result.max = std::max(result.max, d);
    }
    if (!distances.empty())
        result.mean /= double(distances.size());
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("How close the client sets the clock to the server's time."));
    parser.addHelpOption();
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Synchronizations (default 500)."),
                                         QStringLiteral("n"), QStringLiteral("500"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the random phases (default 1)."),
                                        QStringLiteral("n"), QStringLiteral("1"));
    parser.addOptions({ countOption, seedOption });
    parser.process(app);
    const int count = std::clamp(parser.value(countOption).toInt(), 1, 100000);
    std::mt19937 random(parser.value(seedOption).toUInt());

    TrueTime truth;
    truth.running.start();
    const qint64 base = *DateTime::toSerialSeconds(DateTime::fromParts(QDate(2026, 12, 10), QTime(12, 0, 0))) * 1000;

    // The server: the whole second of its true time, then the close.
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        QTextStream(stderr) << "cannot listen on loopback\n";
        return 1;
    }
    qint64 sentSecond = 0; // the last value sent, on the serial scale
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *peer = server.nextPendingConnection()) {
            const qint64 seconds = truth.now() / 1000; // cut down, as the protocol does
            sentSecond = seconds;
            const auto value = LocalToTimeValue(DateTime::fromSerialSeconds(seconds), 0);
            peer->write(TimeProtocol::encode(value ? *value : 0));
            peer->disconnectFromHost();
            QObject::connect(peer, &QTcpSocket::disconnected, peer, &QObject::deleteLater);
        }
    });

    RecordingClock clock(truth);
    FakeTimeZoneBias zone(0);
    ProgramState state(clock, zone);
    state.Interval = IntervalChoice { false, true, false };
    auto record = std::make_shared<clsHost>();
    record->setHostName(QStringLiteral("loopback"));
    record->setHostPath(QStringLiteral("127.0.0.1"));
    record->setHostActive(1);
    state.Hosts.Add(record);
    AutoClient client(state, server.serverPort(), nullptr, 1u);

    std::uniform_int_distribution<qint64> phase(0, 999);     // milliseconds within the second
    std::uniform_int_distribution<int> off(2, 9);             // seconds the clock is off
    std::bernoulli_distribution slow(0.5);
    std::vector<double> ours, whole;
    int lost = 0;
    for (int i = 0; i < count; ++i) {
        // A new phase: the true time jumps to a random point of some later second.
        truth.offset = base + qint64(i) * 60'000 + phase(random) - truth.running.elapsed();
        const qint64 trueSecond = truth.now() / 1000;
        clock.current = DateTime::fromSerialSeconds(trueSecond + (slow(random) ? -off(random) : off(random)));
        clock.setTo.reset();
        client.SynchronizeNow();
        const QDeadlineTimer deadline(SyncWait);
        while (!clock.setTo && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (!clock.setTo) {
            ++lost;
            continue;
        }
        ours.push_back(std::abs(*clock.setTo - clock.trueAtSet) / 1000.0);
        // The whole-second rule sets the value itself.
        whole.push_back(std::abs(double(sentSecond) * 1000.0 - clock.trueAtSet) / 1000.0);
    }

    const Figures a = figures(ours), b = figures(whole);
    QTextStream out(stdout);
    out << "synchronizations: " << ours.size() << " (lost " << lost << ")\n";
    out << "| rule | mean distance | max distance |\n|---|---|---|\n";
    out << QString::asprintf("| value + 0.5 s + half the wait | %.3f s | %.3f s |\n", a.mean, a.max);
    out << QString::asprintf("| whole second | %.3f s | %.3f s |\n", b.mean, b.max);
    return lost == 0 ? 0 : 1;
}
