#pragma once

#include <QString>
#include <QtGlobal>

// Keeps a second copy of the program from running: an exclusive lock on a file, held from
// tryAcquire() until the object is destroyed. The operating system drops the lock when the
// process ends in any way, so a crash never leaves a stale lock behind; the file itself may
// stay and is no obstacle. Nothing is ever written to the file, which is this account's
// alone (0600 on Linux).
//
// Only a copy of this account counts (or, for an administrator who reaches another
// account's data folder, a copy of the account that owns the folder): a lock that only
// other accounts hold - one that opened the file while an earlier version left it readable
// to all, say - is not a running copy. tryAcquire() then replaces the lock file with a new
// one and locks that, and foreignLock() says so.
class SingleInstance
{
public:
    // What foreignAccount() gives when no process of the other account could be named.
    static constexpr qint64 UnknownAccount = -1;

    explicit SingleInstance(const QString &lockPath);
    ~SingleInstance();

    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when this object holds the lock (also when it already did). False when another
    // copy holds it, or when the lock file cannot be opened: error() tells which.
    bool tryAcquire();

    // The errno value of the last failed tryAcquire() (on Windows, the system's reason given
    // as one): EWOULDBLOCK when another copy holds the lock, anything else when the lock file
    // could not be opened or locked. 0 after a success.
    int error() const { return mError; }

    // True when tryAcquire() found the lock held only by other accounts; foreignAccount() is
    // then the user ID of one of their processes, or UnknownAccount.
    bool foreignLock() const { return mForeignLock; }
    qint64 foreignAccount() const { return mForeignAccount; }

    // True when a copy (as above) holds the lock now. Only looks: it creates no file, and
    // holds nothing once it returns. Anything at the path but a regular file (a named pipe, a
    // symbolic link) holds no lock, and is neither waited on nor followed.
    static bool heldElsewhere(const QString &lockPath);

private:
    QString mPath;
    qintptr mHandle = -1; // the open, locked lock file; -1 while not held
    int mError = 0;
    bool mForeignLock = false;
    qint64 mForeignAccount = UnknownAccount;
};
