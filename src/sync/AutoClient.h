#pragma once

#include "platform/SocketControl.h"
#include "sync/AnswerRule.h"
#include "sync/TimeProtocol.h"

#include <QObject>
#include <QString>

#include <optional>
#include <random>

struct ProgramState;

// The automatic Time Protocol client: the one-second countdown that starts an attempt,
// the random choice of an active server, and the handling of its answer, which sets the
// clock through ProgramState::Clock when it is off by 2 to 1799 seconds. Everything it
// reports goes into the program-wide state (TrayAlert, pollLimit, the server's record).
//
// The countdown timer itself belongs to the main object, which calls tmrClient_Timer()
// once a second.
class AutoClient : public QObject
{
    Q_OBJECT

public:
    static constexpr qint32 AttemptLimit = 10;       // seconds: next attempt on the 11th tick
    static constexpr int TooFewBytesError = 9;       // error number of a short answer

    // seed: the random generator's seed, fixed by tests; taken from the system otherwise.
    explicit AutoClient(ProgramState &state, quint16 port = TimeProtocol::Port, QObject *parent = nullptr,
                        std::optional<quint32> seed = std::nullopt);

    // The client's socket; the shutdown closes it.
    SocketControl &tcpClient() { return mTcpClient; }
    const SocketControl &tcpClient() const { return mTcpClient; }

    // One countdown tick.
    void tmrClient_Timer();
    // Starts one attempt now, unless paused or the Time Servers window is open. It does
    // not restart the countdown.
    void SynchronizeNow();
    void StartSynchronization();
    // HostPath of a randomly chosen active server; empty when none is active.
    QString ChooseServer();

    // Handlers of tcpClient's events.
    void tcpClient_DataArrival(qint64 bytesTotal);
    void tcpClient_Close();
    void tcpClient_Error(int number, const QString &description);

private:
    // Applies the answer rule to one answer and reports its outcome in the program's
    // state; 0, or the number of the error that interrupted it.
    int handleAnswer(const QByteArray &block);
    void closeIfOpen();

    ProgramState &mState;
    quint16 mPort;
    SocketControl mTcpClient;
    AnswerRule::RoundTrip mRoundTrip; // from the connection's connected event
    std::mt19937 mRandom;
};
