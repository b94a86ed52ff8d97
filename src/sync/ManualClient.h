#pragma once

#include "platform/SocketControl.h"
#include "sync/AnswerRule.h"
#include "sync/TimeProtocol.h"

#include <QObject>
#include <QString>

#include <optional>

struct ProgramState;

// How one manual attempt ended, for the Time Servers window to show.
struct ManualOutcome {
    enum Result {
        Succeeded,  // the server's record (if any) holds the new success
        Failed,     // the server's record (if any) holds HostStatus::Failed
        NotStarted, // nothing was asked and the record is unchanged
    };

    Result result = Failed;
    QString host;
    std::optional<bool> bold; // the row's bold type; empty: leave it as it is
    QString statusText;
};
Q_DECLARE_METATYPE(ManualOutcome)

// The synchronization with one chosen server that the user starts by hand. It shares the
// decoding, the conversion and the clock-error measure of the automatic client, and sets
// the clock through ProgramState::Clock in the same way, but it touches neither the tray
// state nor the countdown, and it writes every failure into the server's record.
//
// Every attempt that Start() begins ends with exactly one Finished signal: an answer, a
// connection error (whether the control reports it inside Connect or later), the server
// closing without an answer, GiveUp(), or a start that could not be made. Abandon() ends
// an attempt without a signal.
class ManualClient : public QObject
{
    Q_OBJECT

public:
    explicit ManualClient(ProgramState &state, quint16 port = TimeProtocol::Port, QObject *parent = nullptr);

    SocketControl &tcpClient() { return mTcpClient; }
    bool busy() const { return mBusy; }

    // Starts an attempt with host. Emits Waiting once the connection is under way.
    void Start(const QString &host);
    // The server has not answered in time: the attempt ends as failed.
    void GiveUp();
    // Ends an attempt under way silently, closing the connection (the window closes).
    void Abandon();

    void tcpClient_DataArrival(qint64 bytesTotal);
    void tcpClient_Close();
    void tcpClient_Error(int number, const QString &description);

signals:
    void Waiting(const QString &statusText);
    void Finished(const ManualOutcome &outcome);

private:
    ManualOutcome handleAnswer(const QByteArray &block, const QString &host);
    // Records HostStatus::Failed for host, when it is still in the list.
    void recordFailure(const QString &host);
    void finish(const ManualOutcome &outcome);
    void closeIfOpen();

    ProgramState &mState;
    quint16 mPort;
    SocketControl mTcpClient;
    AnswerRule::RoundTrip mRoundTrip; // from the connection's connected event
    bool mBusy = false;
};
