#pragma once

#include "common/Date.h"

#include <QString>

// One time server and the outcome of its last attempt.
class clsHost
{
public:
    QString HostName() const { return mHostName; }
    void setHostName(const QString &value) { mHostName = value; }

    // The server's address and the record's identity, compared exactly.
    QString HostPath() const { return mHostPath; }
    void setHostPath(const QString &value) { mHostPath = value; }

    // 1: takes part in automatic synchronization; any other value: does not.
    qint16 HostActive() const { return mHostActive; }
    void setHostActive(qint16 value) { mHostActive = value; }

    // 0 not tried since created or edited, 1 succeeded, -1 a manual attempt failed.
    qint16 HostStatus() const { return mHostStatus; }
    void setHostStatus(qint16 value) { mHostStatus = value; }

    // Local time of the last success; DateTime::Never when never.
    Date HostPollDate() const { return mHostPollDate; }
    void setHostPollDate(Date value) { mHostPollDate = value; }

    // Clock error found at the last success, seconds, never negative.
    qint32 HostSynchError() const { return mHostSynchError; }
    void setHostSynchError(qint32 value) { mHostSynchError = value; }

private:
    QString mHostName;
    QString mHostPath;
    qint16 mHostActive = 0;
    qint16 mHostStatus = 0;
    Date mHostPollDate = DateTime::Never;
    qint32 mHostSynchError = 0; // seconds
};
