// How close to the server's true time the automatic client sets the clock.
//
// A Time Protocol server on 127.0.0.1 keeps a true time of its own, in milliseconds, that
// starts at a random phase within the second for every synchronization, and sends it as
// the protocol does: whole seconds, cut down. The program's automatic client (AutoClient,
// with the answer rule both clients share) synchronizes with it through a clock of the
// bench's own that runs a few seconds off the true time. When the client sets that clock,
// the bench notes the true time at that moment and how far the instant set lies from it:
// for the client's rule (the value, half a second, half the round trip) and for the rule
// of setting the whole second received.
//
// It never touches this machine's clock.

#include "state/ProgramState.h"
#include "platform/SystemClock.h"
#include "platform/TimeZoneBias.h"
#include "sync/AutoClient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr qint64 MillisecondsPerSecond = 1000;
constexpr qint64 Epoch1900 = 2 * DateTime::SecondsPerDay; // seconds: 1900-01-01 on the Date scale
constexpr int AttemptLimit = 5000;                        // milliseconds one synchronization may take

// The true time: milliseconds on the Date scale (0 at 1899-12-30 00:00:00, no zone),
// running with the monotonic clock from a start that the bench moves for every round.
class TrueTime
{
public:
    TrueTime() { mRunning.start(); }
    void startAt(qint64 milliseconds)
    {
        mStart = milliseconds;
        mRunning.restart();
    }
    qint64 now() const { return mStart + mRunning.elapsed(); }

private:
    qint64 mStart = 0;
    QElapsedTimer mRunning;
};

// The clock that the client sets: the true time less a whole number of seconds, and the
// note of each setting against the true time of that moment.
class BenchClock final : public SystemClock
{
public:
    explicit BenchClock(const TrueTime &truth) : mTruth(truth) { }

    qint64 offBy = 0; // seconds the clock runs behind the true time
    struct Setting {
        qint64 ours;  // milliseconds: instant set by the client's rule, less the true time
        qint64 whole; // milliseconds: the whole second received, less the true time
    };
    std::vector<Setting> settings;

    Date now() const override
    {
        return DateTime::fromSerialSeconds(floorDiv(mTruth.now(), MillisecondsPerSecond) - offBy);
    }
    qint64 utcSeconds() const override { return 0; }

    int setLocalDateTime(Date target, qint32 /*bias*/, qint64 afterTarget) override
    {
        const qint64 truth = mTruth.now();
        const qint64 second = *DateTime::toSerialSeconds(target) * MillisecondsPerSecond;
        settings.push_back({ second + afterTarget - truth, second - truth });
        offBy = 0;
        return 0;
    }

private:
    static qint64 floorDiv(qint64 a, qint64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
    const TrueTime &mTruth;
};

class UtcZone final : public TimeZoneBias
{
public:
    bool read(qint32 &bias) const override
    {
        bias = 0;
        return true;
    }
};

struct Summary {
    double mean = 0;  // seconds, of the distances' absolute values
    double worst = 0; // seconds
};

Summary summarize(const std::vector<qint64> &distances)
{
    Summary s;
    for (const qint64 d : distances) {
        const double seconds = std::abs(double(d)) / MillisecondsPerSecond;
        s.mean += seconds;
        s.worst = std::max(s.worst, seconds);
    }
    if (!distances.empty())
        s.mean /= double(distances.size());
    return s;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Distance of the set clock from the server's true time."));
    parser.addHelpOption();
    QCommandLineOption rounds(QStringLiteral("rounds"), QStringLiteral("Synchronizations (400)."), QStringLiteral("n"),
                              QStringLiteral("400"));
    parser.addOption(rounds);
    parser.process(app);
    const int count = parser.value(rounds).toInt();
    QTextStream out(stdout);
    if (count < 1 || count > 100000) {
        out << "halfsecond: --rounds must be 1 to 100000\n";
        return 2;
    }

    TrueTime truth;
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        out << "halfsecond: cannot listen on 127.0.0.1\n";
        return 1;
    }
    // The protocol's answer: the true time's whole seconds since 1900, cut down.
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket *caller = server.nextPendingConnection()) {
            const qint64 seconds = truth.now() / MillisecondsPerSecond - Epoch1900;
            caller->write(TimeProtocol::encode(quint32(seconds)));
            caller->disconnectFromHost();
            QObject::connect(caller, &QTcpSocket::disconnected, caller, &QObject::deleteLater);
        }
    });

    BenchClock clock(truth);
    UtcZone zone;
    ProgramState state(clock, zone);
    auto host = std::make_shared<clsHost>();
    host->setHostPath(QStringLiteral("127.0.0.1"));
    host->setHostActive(1);
    state.Hosts.Add(host);
    AutoClient client(state, server.serverPort());

    std::mt19937 random(20261210u);
    std::uniform_int_distribution<qint64> phase(0, MillisecondsPerSecond - 1); // milliseconds
    std::uniform_int_distribution<qint64> off(2, 9);                           // seconds
    // 2026-12-10 00:00:00 on the Date scale, in milliseconds.
    const qint64 start = *DateTime::toSerialSeconds(DateTime::fromParts(QDate(2026, 12, 10), QTime(0, 0))) * MillisecondsPerSecond;

    int failed = 0;
    for (int round = 0; round < count; ++round) {
        truth.startAt(start + qint64(round) * 60 * MillisecondsPerSecond + phase(random));
        clock.offBy = (round % 2 == 0 ? 1 : -1) * off(random);
        const size_t before = clock.settings.size();
        client.SynchronizeNow();
        QDeadlineTimer limit(AttemptLimit);
        while (clock.settings.size() == before && !limit.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        if (clock.settings.size() == before)
            ++failed;
    }

    std::vector<qint64> ours, whole;
    for (const BenchClock::Setting &s : clock.settings) {
        ours.push_back(s.ours);
        whole.push_back(s.whole);
    }
    const Summary a = summarize(ours), b = summarize(whole);
    out << "synchronizations: " << clock.settings.size() << " of " << count << " (" << failed << " without a setting)\n\n";
    out << "| rule | mean distance | largest distance |\n|---|---|---|\n";
    out << QStringLiteral("| value + 0.5 s + half the round trip | %1 s | %2 s |\n").arg(a.mean, 0, 'f', 3).arg(a.worst, 0, 'f', 3);
    out << QStringLiteral("| the whole second received | %1 s | %2 s |\n").arg(b.mean, 0, 'f', 3).arg(b.worst, 0, 'f', 3);
    const bool met = failed == 0 && a.mean <= 0.3 && a.worst <= 0.55;
    out << "\nTarget (mean at most 0.3 s, largest at most 0.55 s, every round set): " << (met ? "met" : "NOT met") << "\n";
    return 0;
}
