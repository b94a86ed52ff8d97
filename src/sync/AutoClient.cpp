#include "sync/AutoClient.h"

#include "state/ProgramState.h"

namespace {

quint32 systemSeed()
{
    std::random_device source;
    return source();
}

} // namespace

AutoClient::AutoClient(ProgramState &state, quint16 port, QObject *parent, std::optional<quint32> seed)
    : QObject(parent)
    , mState(state)
    , mPort(port)
    , mRandom(seed ? *seed : systemSeed())
{
    connect(&mTcpClient, &SocketControl::ConnectEvent, this, [this] { mRoundTrip.connected(); });
    connect(&mTcpClient, &SocketControl::DataArrival, this, &AutoClient::tcpClient_DataArrival);
    connect(&mTcpClient, &SocketControl::CloseEvent, this, &AutoClient::tcpClient_Close);
    connect(&mTcpClient, &SocketControl::Error, this, &AutoClient::tcpClient_Error);
}

void AutoClient::tmrClient_Timer()
{
    // pollLimit is at most a day, and the count restarts each time it passes it.
    mState.pollTicks = mState.pollTicks + 1;
    if (mState.pollTicks > mState.pollLimit) {
        mState.pollTicks = 0;
        StartSynchronization();
    }
}

void AutoClient::SynchronizeNow()
{
    StartSynchronization();
}

void AutoClient::StartSynchronization()
{
    if (mState.HostsShowing == WindowShowing::Open || mState.PauseChecked)
        return;

    mState.TrayAlert = TrayAlert::Looking;
    // A previous attempt that is still waiting is abandoned here.
    closeIfOpen();
    mState.pollLimit = AttemptLimit;
    mTcpClient.setRemoteHost(ChooseServer());
    mTcpClient.setRemotePort(mPort);
    mRoundTrip.begin();
    if (!mTcpClient.Connect()) {
        // No active server or an unusable address: the countdown tries again on the
        // 11th tick, still looking for a time server.
        closeIfOpen();
        mState.pollLimit = AttemptLimit;
    }
}

QString AutoClient::ChooseServer()
{
    QList<clsHosts::HostRef> active;
    for (qint32 i = 1; i <= mState.Hosts.count(); ++i) {
        const clsHosts::HostRef host = mState.Hosts.Item(i);
        if (host && host->HostActive() == 1)
            active.append(host);
    }
    if (active.isEmpty())
        return QString();
    // One uniform draw among the active servers: each is equally likely, whatever the
    // list's order and however many inactive ones it holds.
    std::uniform_int_distribution<qsizetype> draw(0, active.size() - 1);
    return active.at(draw(mRandom))->HostPath();
}

void AutoClient::tcpClient_DataArrival(qint64 /*bytesTotal*/)
{
    // Only the first block of a connection is read: the connection is closed after it,
    // whatever it held.
    const int errorNumber = handleAnswer(mTcpClient.GetData());
    closeIfOpen();
    if (errorNumber != 0) {
        mState.TrayAlert = TrayAlert::Failed;
        mState.TrayAlertMessage = QStringLiteral("Error (%1) when time received from server").arg(errorNumber);
        mState.pollLimit = AttemptLimit;
    }
    // Paused while the attempt was under way: its result is kept, but the icon goes on
    // showing the pause.
    if (mState.PauseChecked)
        mState.TrayAlert = TrayAlert::Paused;
}

int AutoClient::handleAnswer(const QByteArray &block)
{
    const AnswerRule::Outcome outcome = AnswerRule::apply(block, mRoundTrip.sinceConnected(), mState.Clock, mState.Zone);
    switch (outcome.verdict) {
    case AnswerRule::Verdict::TooFewBytes:
        return TooFewBytesError;
    case AnswerRule::Verdict::NoTimeZone:
        mState.TrayAlert = TrayAlert::Failed;
        mState.TrayAlertMessage = QStringLiteral("Could not find local time zone");
        mState.pollLimit = AttemptLimit;
        return 0;
    case AnswerRule::Verdict::NotComputable:
    case AnswerRule::Verdict::TooFarOff:
        // Never believed: the user has to set the clock by hand.
        mState.TrayAlert = TrayAlert::TooFarOff;
        mState.pollLimit = AttemptLimit;
        return 0;
    case AnswerRule::Verdict::ClockRefused:
        return outcome.refusal;
    case AnswerRule::Verdict::Synchronized:
        break;
    }
    mState.TrayAlert = TrayAlert::Synchronized;
    mState.LastSynchDate = outcome.now;
    mState.pollLimit = mState.Interval.GetSynchInterval();
    // The record may have been deleted meanwhile: the attempt still counts.
    const qint32 position = mState.Hosts.FindPathname(mTcpClient.RemoteHost());
    if (position != -1) {
        if (const clsHosts::HostRef host = mState.Hosts.Item(position)) {
            host->setHostStatus(HostStatus::Succeeded);
            host->setHostPollDate(outcome.now);
            host->setHostSynchError(outcome.error);
        }
    }
    return 0;
}

void AutoClient::tcpClient_Close()
{
    closeIfOpen();
}

void AutoClient::tcpClient_Error(int /*number*/, const QString & /*description*/)
{
    closeIfOpen();
}

void AutoClient::closeIfOpen()
{
    if (mTcpClient.State() != SocketControl::sckClosed)
        mTcpClient.Close();
}
