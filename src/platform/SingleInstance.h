#pragma once

#include <QString>
#include <QtGlobal>

// Keeps a second copy of the program from running: an exclusive lock on a file, held from
// tryAcquire() until the object is destroyed. The operating system drops the lock when the
// process ends in any way, so a crash never leaves a stale lock behind; the file itself may
// stay and is no obstacle. Nothing is ever written to the file.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &lockPath);
    ~SingleInstance();

    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when this object holds the lock (also when it already did). False when another
    // copy holds it, or when the lock file cannot be opened: error() tells which.
    bool tryAcquire();

    // The system's error number of the last failed tryAcquire(): EWOULDBLOCK when another
    // copy holds the lock, anything else when the lock file could not be opened or locked.
    // 0 after a success.
    int error() const { return mError; }

    // True when another process holds the lock now. Only looks: it creates no file, and
    // holds nothing once it returns.
    static bool heldElsewhere(const QString &lockPath);

private:
    QString mPath;
    qintptr mHandle = -1; // the open, locked lock file; -1 while not held
    int mError = 0;
};
