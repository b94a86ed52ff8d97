#include "platform/SingleInstance.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SingleInstance::SingleInstance(const QString &lockPath) : mPath(lockPath) { }

SingleInstance::~SingleInstance()
{
    // Closing the descriptor releases the lock. The file stays: deleting it here would let
    // a copy that opened it a moment ago lock a file no longer in the folder, while a third
    // copy locks a new one.
    if (mHandle >= 0)
        ::close(int(mHandle));
}

bool SingleInstance::tryAcquire()
{
    if (mHandle >= 0)
        return true;

    const QByteArray path = QFile::encodeName(mPath);
    // Read-only is enough to lock, and works on a file this user may not write.
    // O_CLOEXEC: a program started from here (the browser, the help viewer) must not inherit
    // the descriptor, or it would hold the lock on after this copy has ended.
    int fd;
    do {
        fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        mError = errno;
        return false;
    }

    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        mError = errno;
        ::close(fd);
        return false;
    }

    mHandle = fd;
    mError = 0;
    return true;
}

bool SingleInstance::heldElsewhere(const QString &lockPath)
{
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false; // no lock file: no copy has ever run here
    int rc;
    do {
        rc = ::flock(fd, LOCK_SH | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    const bool held = rc != 0 && errno == EWOULDBLOCK;
    ::close(fd); // drops the shared lock, if it was taken
    return held;
}
