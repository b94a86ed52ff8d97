#include "platform/ControlAccess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int NameHashLength = 16; // hexadecimal digits of the data folder's hash
constexpr mode_t RuntimeFolderMode = 0700;
constexpr mode_t FolderModeBits = 07777;
constexpr qint64 NoAccount = -1;

qint64 ownerOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(QDir::cleanPath(path)).constData(), &info) != 0)
        return NoAccount;
    return info.st_uid;
}

qint64 peerAccount(qintptr socketDescriptor)
{
    ucred peer {};
    socklen_t size = sizeof peer;
    if (::getsockopt(int(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer)
        return NoAccount;
    return peer.uid;
}

// The checks QStandardPaths makes of the runtime folder, without its messages and without
// its making one: another account's folder, or one that others may enter (/tmp, as some
// su, sudo and container set-ups leave it), would let that account take the socket's name
// first and answer in the running copy's place. The administrator may use the folder of
// the account that owns the data folder: that is how it asks the system service.
QString refusal(const QString &runtime, const QString &dataFolder)
{
    if (!QDir::isAbsolutePath(runtime))
        return QStringLiteral("not an absolute path");
    struct stat info {};
    if (::lstat(QFile::encodeName(runtime).constData(), &info) != 0)
        return QStringLiteral("not there");
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("a symbolic link");
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("not a folder");
    const qint64 self = ::geteuid();
    const qint64 owner = info.st_uid;
    if (owner != self && !(self == 0 && owner == ownerOf(dataFolder)))
        return QStringLiteral("owned by user ID %1, not this account").arg(owner);
    if ((info.st_mode & FolderModeBits) != RuntimeFolderMode)
        return QStringLiteral("mode %1, not 0700").arg(info.st_mode & FolderModeBits, 4, 8, QLatin1Char('0'));
    return {};
}

} // namespace

QString controlSocketName(const QString &dataFolder)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !refusal(runtime, dataFolder).isEmpty())
        return dataFolder + QStringLiteral("Brindlecot.socket");
    const QByteArray folder = QFile::encodeName(QDir::cleanPath(dataFolder));
    const QByteArray hash = QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(NameHashLength);
    return QDir::cleanPath(runtime) + QStringLiteral("/brindlecot-") + QString::fromLatin1(hash) + QStringLiteral(".socket");
}

QString runtimeFolderRefusal(const QString &dataFolder)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QString() : refusal(runtime, dataFolder);
}

bool peerMayControl(qintptr socketDescriptor)
{
    const qint64 peer = peerAccount(socketDescriptor);
    return peer != NoAccount && (peer == qint64(::geteuid()) || peer == 0);
}

bool peerMayAnswer(qintptr socketDescriptor, const QString &dataFolder)
{
    const qint64 peer = peerAccount(socketDescriptor);
    return peer != NoAccount && (peer == qint64(::geteuid()) || peer == 0 || peer == ownerOf(dataFolder));
}
