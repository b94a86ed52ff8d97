#include "platform/SingleInstance.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr mode_t LockFileMode = 0600;
constexpr mode_t LockModeBits = 07777;
constexpr qint64 MaxLockTableBytes = 4 * 1024 * 1024; // bytes of /proc/locks read at most
constexpr int ReplaceTries = 3; // rounds against another copy of this account replacing too

int openLockFile(const QByteArray &path, int flags)
{
    // O_NOFOLLOW and O_NONBLOCK: a link is not followed to a file elsewhere, and a named
    // pipe placed here does not keep the open waiting for a writer.
    int fd;
    do {
        fd = ::open(path.constData(), flags | O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK, LockFileMode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool isRegularFile(int fd, struct stat *info)
{
    return ::fstat(fd, info) == 0 && S_ISREG(info->st_mode);
}

int flockNoWait(int fd, int operation)
{
    int rc;
    do {
        rc = ::flock(fd, operation | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

QByteArray readProcFile(const char *path, qint64 limit)
{
    // /proc files report no size: read to the end, in a bounded amount.
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    QByteArray bytes;
    while (bytes.size() < limit) {
        const QByteArray chunk = file.read(64 * 1024);
        if (chunk.isEmpty())
            break;
        bytes += chunk;
    }
    return bytes;
}

// The user IDs (real and effective) of a live process, or none when it is gone.
QList<qint64> processAccounts(qint64 pid)
{
    const QByteArray status = readProcFile(QByteArray("/proc/" + QByteArray::number(pid) + "/status").constData(), 64 * 1024);
    for (const QByteArray &line : status.split('\n')) {
        if (!line.startsWith("Uid:"))
            continue;
        const QList<QByteArray> fields = line.mid(4).simplified().split(' ');
        if (fields.size() >= 2)
            return { fields[0].toLongLong(), fields[1].toLongLong() };
    }
    return {};
}

enum class Holder { ThisAccount, OtherAccounts };

// Who holds the lock that flock() just refused on this file, from the kernel's table of
// locks. For a flock lock the table names the process that took it, which may have ended
// since (the open file handed on to another process): a lock counts as this account's
// while a live process of this account (or of the folder's owner) is named for it. When
// the table cannot be read or names nothing for the file, the lock counts as this
// account's: the program then behaves as it always did.
Holder lockHolder(int fd, uid_t folderOwner, qint64 *foreignAccount)
{
    *foreignAccount = SingleInstance::UnknownAccount;
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return Holder::ThisAccount;
    const QByteArray inode = ':' + QByteArray::number(qulonglong(info.st_ino));
    const QByteArray device = QByteArray::number(major(info.st_dev), 16).rightJustified(2, '0') + ':'
                              + QByteArray::number(minor(info.st_dev), 16).rightJustified(2, '0');
    const QByteArray table = readProcFile("/proc/locks", MaxLockTableBytes);

    // Lines such as "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; a waiter's line has
    // "->" after the number and holds nothing. Some file systems (btrfs) give stat() a
    // device other than the table's: without a line for the exact device, the inode alone
    // is matched.
    QList<qint64> exact;
    QList<qint64> sameInode;
    for (const QByteArray &line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] == "->" || fields[1] != "FLOCK" || !fields[5].endsWith(inode))
            continue;
        const qint64 pid = fields[4].toLongLong(); // 0 or -1 when not visible from here
        (fields[5] == device + inode ? exact : sameInode).append(pid);
    }
    const QList<qint64> &holders = exact.isEmpty() ? sameInode : exact;
    if (holders.isEmpty())
        return Holder::ThisAccount;
    for (const qint64 pid : holders) {
        if (pid <= 0)
            continue;
        for (const qint64 account : processAccounts(pid)) {
            if (account == qint64(::geteuid()) || account == qint64(folderOwner))
                return Holder::ThisAccount;
            *foreignAccount = account;
        }
    }
    return Holder::OtherAccounts;
}

uid_t folderOwner(const QString &lockPath)
{
    struct stat info {};
    if (::stat(QFile::encodeName(QFileInfo(lockPath).path()).constData(), &info) != 0)
        return ::geteuid();
    return info.st_uid;
}

bool sameInode(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

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
    mForeignLock = false;
    mForeignAccount = UnknownAccount;

    const QByteArray path = QFile::encodeName(mPath);
    // Read-only is enough to lock, and works on a file this user may not write.
    // O_CLOEXEC: a program started from here (the browser, the help viewer) must not inherit
    // the descriptor, or it would hold the lock on after this copy has ended.
    int fd = openLockFile(path, O_CREAT);
    if (fd < 0) {
        mError = errno;
        return false;
    }
    struct stat info {};
    if (!isRegularFile(fd, &info)) {
        ::close(fd);
        mError = EINVAL;
        return false;
    }
    // A lock file that an earlier version made readable by all is closed to others now;
    // one made by this version is 0600 already, unless the umask took bits off.
    if (info.st_uid == ::geteuid() && (info.st_mode & LockModeBits) != LockFileMode)
        ::fchmod(fd, LockFileMode);

    mError = flockNoWait(fd, LOCK_EX);
    if (mError == EWOULDBLOCK && lockHolder(fd, folderOwner(mPath), &mForeignAccount) == Holder::OtherAccounts) {
        // Another account holds the file open. It cannot reach a new file in the folder
        // (0700), so the old one is unlinked and a new one made and locked. Another copy
        // of this account may be doing the same at this moment: a file that is no longer
        // the old one is not unlinked, a new file is made only where none is (O_EXCL), and
        // the lock counts only while the path still names the locked file. (Between the
        // check and the unlink there remains a moment that two such copies would have to
        // hit at once.)
        mForeignLock = true;
        struct stat old = info;
        for (int round = 0; round < ReplaceTries && mError != 0; ++round) {
            ::close(fd);
            fd = -1;
            struct stat now {};
            if (::lstat(path.constData(), &now) == 0 && sameInode(now, old) && ::unlink(path.constData()) != 0) {
                mError = errno;
                break;
            }
            fd = openLockFile(path, O_CREAT | O_EXCL);
            if (fd < 0) {
                if (errno != EEXIST) {
                    mError = errno;
                    break;
                }
                fd = openLockFile(path, 0); // made by another copy: whoever locks it runs
                if (fd < 0 || !isRegularFile(fd, &old)) {
                    mError = fd < 0 ? errno : EINVAL;
                    break;
                }
                mError = flockNoWait(fd, LOCK_EX);
                break;
            }
            ::fchmod(fd, LockFileMode); // O_CREAT's mode lost the umask's bits
            if (!isRegularFile(fd, &old))
                continue;
            mError = flockNoWait(fd, LOCK_EX);
            if (mError == 0 && (::lstat(path.constData(), &now) != 0 || !sameInode(now, old)))
                mError = EBUSY; // replaced again meanwhile: another round
        }
        // Another copy of this account made the new file first and holds it: hand over.
        if (mError == EWOULDBLOCK)
            mForeignLock = false;
    }
    if (mError != 0) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    mHandle = fd;
    return true;
}

bool SingleInstance::heldElsewhere(const QString &lockPath)
{
    const int fd = openLockFile(QFile::encodeName(lockPath), 0);
    if (fd < 0)
        return false; // no lock file: no copy has ever run here
    struct stat info {};
    qint64 account = UnknownAccount;
    const bool held = isRegularFile(fd, &info) && flockNoWait(fd, LOCK_SH) == EWOULDBLOCK
                      && lockHolder(fd, folderOwner(lockPath), &account) == Holder::ThisAccount;
    ::close(fd); // drops the shared lock, if it was taken
    return held;
}
