#include "platform/SingleInstance.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SingleInstance::SingleInstance(const QString &lockPath) : m_path(lockPath) { }

SingleInstance::~SingleInstance()
{
    // Closing the descriptor releases the lock. The file stays: deleting it here would let
    // a copy that opened it a moment ago lock a file no longer in the folder, while a third
    // copy locks a new one.
    if (m_handle >= 0)
        ::close(int(m_handle));
}

bool SingleInstance::tryAcquire()
{
    if (m_handle >= 0)
        return true;

    const QByteArray path = QFile::encodeName(m_path);
    // Read-only is enough to lock, and works on a file this user may not write.
    // O_CLOEXEC: a program started from here (the browser, the help viewer) must not inherit
    // the descriptor, or it would hold the lock on after this copy has ended.
    int fd;
    do {
        fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_error = errno;
        return false;
    }

    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        m_error = errno;
        ::close(fd);
        return false;
    }

    m_handle = fd;
    m_error = 0;
    return true;
}
