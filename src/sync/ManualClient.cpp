#include "sync/ManualClient.h"

#include "state/ProgramState.h"

ManualClient::ManualClient(ProgramState &state, quint16 port, QObject *parent)
    : QObject(parent)
    , mState(state)
    , mPort(port)
{
    connect(&mTcpClient, &SocketControl::ConnectEvent, this, [this] { mRoundTrip.connected(); });
    connect(&mTcpClient, &SocketControl::DataArrival, this, &ManualClient::tcpClient_DataArrival);
    connect(&mTcpClient, &SocketControl::CloseEvent, this, &ManualClient::tcpClient_Close);
    connect(&mTcpClient, &SocketControl::Error, this, &ManualClient::tcpClient_Error);
}

void ManualClient::Start(const QString &host)
{
    if (mBusy)
        return;
    mBusy = true;
    closeIfOpen();
    if (mTcpClient.State() != SocketControl::sckClosed) {
        mTcpClient.Close();
        finish({ManualOutcome::NotStarted, host, std::nullopt, QStringLiteral("Error: port still in use")});
        return;
    }
    mTcpClient.setRemoteHost(host);
    mTcpClient.setRemotePort(mPort);
    mRoundTrip.begin();
    if (!mTcpClient.Connect()) {
        const QString description = mTcpClient.lastErrorDescription();
        closeIfOpen();
        finish({ManualOutcome::NotStarted, host, std::nullopt, description});
        return;
    }
    // A control may report a failure from within Connect: the attempt has ended then.
    if (mBusy)
        emit Waiting(QStringLiteral("Waiting for response from %1...").arg(host));
}

void ManualClient::GiveUp()
{
    if (!mBusy)
        return;
    const QString host = mTcpClient.RemoteHost();
    closeIfOpen();
    recordFailure(host);
    finish({ManualOutcome::Failed, host, std::nullopt, QStringLiteral("Error: no response received from %1").arg(host)});
}

void ManualClient::Abandon()
{
    mBusy = false;
    closeIfOpen();
}

void ManualClient::tcpClient_DataArrival(qint64 /*bytesTotal*/)
{
    if (!mBusy) {
        closeIfOpen();
        return;
    }
    // Only the first block of a connection is read; the connection ends after it.
    const QString host = mTcpClient.RemoteHost();
    const ManualOutcome outcome = handleAnswer(mTcpClient.GetData(), host);
    closeIfOpen();
    finish(outcome);
}

void ManualClient::tcpClient_Close()
{
    if (!mBusy) {
        closeIfOpen();
        return;
    }
    const QString host = mTcpClient.RemoteHost();
    // Bytes that came with the close still count as the answer.
    const QByteArray block = mTcpClient.GetData();
    closeIfOpen();
    if (!block.isEmpty()) {
        finish(handleAnswer(block, host));
        return;
    }
    recordFailure(host);
    finish({ManualOutcome::Failed, host, std::nullopt, QStringLiteral("Error: no response received from %1").arg(host)});
}

void ManualClient::tcpClient_Error(int /*number*/, const QString &description)
{
    if (!mBusy) {
        closeIfOpen();
        return;
    }
    const QString host = mTcpClient.RemoteHost();
    recordFailure(host);
    closeIfOpen();
    finish({ManualOutcome::Failed, host, std::nullopt, description});
}

ManualOutcome ManualClient::handleAnswer(const QByteArray &block, const QString &host)
{
    const AnswerRule::Outcome outcome = AnswerRule::apply(block, mRoundTrip.sinceConnected(), mState.Clock, mState.Zone);
    if (outcome.verdict != AnswerRule::Verdict::Synchronized)
        recordFailure(host);
    switch (outcome.verdict) {
    case AnswerRule::Verdict::TooFewBytes:
        return {ManualOutcome::Failed, host, false, QStringLiteral("Error: incomplete response received from %1").arg(host)};
    case AnswerRule::Verdict::NoTimeZone:
        return {ManualOutcome::Failed, host, false, QStringLiteral("Error: could not find local time zone")};
    case AnswerRule::Verdict::NotComputable:
        return {ManualOutcome::Failed, host, false, QStringLiteral("Error: invalid response received from %1").arg(host)};
    case AnswerRule::Verdict::TooFarOff:
        // Marked in bold: the server answered, but its time is not believed.
        return {ManualOutcome::Failed, host, true, QStringLiteral("Error: invalid time received from %1").arg(host)};
    case AnswerRule::Verdict::ClockRefused:
        return {ManualOutcome::Failed, host, false,
                QStringLiteral("Error: the clock could not be set (%1)").arg(qt_error_string(outcome.refusal))};
    case AnswerRule::Verdict::Synchronized:
        break;
    }
    mState.LastSynchDate = outcome.now;
    const qint32 position = mState.Hosts.FindPathname(host);
    if (const clsHosts::HostRef record = mState.Hosts.Item(position)) {
        record->setHostStatus(HostStatus::Succeeded);
        record->setHostPollDate(outcome.now);
        record->setHostSynchError(outcome.error);
    }
    return {ManualOutcome::Succeeded, host, std::nullopt, QStringLiteral("Successfully synchronized with %1").arg(host)};
}

void ManualClient::recordFailure(const QString &host)
{
    if (const clsHosts::HostRef record = mState.Hosts.Item(mState.Hosts.FindPathname(host)))
        record->setHostStatus(HostStatus::Failed);
}

void ManualClient::finish(const ManualOutcome &outcome)
{
    mBusy = false;
    emit Finished(outcome);
}

void ManualClient::closeIfOpen()
{
    if (mTcpClient.State() != SocketControl::sckClosed)
        mTcpClient.Close();
}
