#pragma once

#include "common/Date.h"

#include <QString>

class QIODevice;

// The codes of clsHost::HostStatus, as the data file stores them.
namespace HostStatus {
constexpr qint16 Failed = -1;   // a manual attempt failed
constexpr qint16 Untried = 0;   // not tried since created or edited
constexpr qint16 Succeeded = 1;
} // namespace HostStatus

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

    // One of the HostStatus codes above; the file may hold any other value.
    qint16 HostStatus() const { return mHostStatus; }
    void setHostStatus(qint16 value) { mHostStatus = value; }

    // Local time of the last success; DateTime::Never when never.
    Date HostPollDate() const { return mHostPollDate; }
    void setHostPollDate(Date value) { mHostPollDate = value; }

    // Clock error found at the last success, seconds, never negative.
    qint32 HostSynchError() const { return mHostSynchError; }
    void setHostSynchError(qint32 value) { mHostSynchError = value; }

    // Longest HostName or HostPath the data file can hold: its length is a 16-bit count.
    static constexpr qsizetype MaxStoredLength = 32767; // characters

    // False when HostName or HostPath, in the form the file stores, is longer than
    // MaxStoredLength: such a record cannot be written.
    bool fitsDataFile() const;

    // Writes this record at the device's current position: the 16-bit length and the
    // bytes of HostName and of HostPath, HostActive, HostStatus, HostPollDate (the raw
    // double) and HostSynchError, little-endian. A record that does not fit writes nothing.
    // False when it does not fit or the device refused bytes.
    bool WriteProperties(QIODevice &file) const;

private:
    QString mHostName;
    QString mHostPath;
    qint16 mHostActive = 0;
    qint16 mHostStatus = HostStatus::Untried;
    Date mHostPollDate = DateTime::Never;
    qint32 mHostSynchError = 0; // seconds
};
