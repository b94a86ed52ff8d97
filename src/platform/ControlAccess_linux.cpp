#include "platform/ControlAccess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int NameHashLength = 16; // hexadecimal digits of the data folder's hash

} // namespace

QString controlSocketName(const QString &dataFolder)
{
    // $XDG_RUNTIME_DIR is the user's own (mode 0700, removed at logout); a relative one is
    // to be ignored, as the base directory rules say.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QDir::isAbsolutePath(runtime))
        return dataFolder + QStringLiteral("Brindlecot.socket");
    const QByteArray folder = QFile::encodeName(QDir::cleanPath(dataFolder));
    const QByteArray hash = QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(NameHashLength);
    return runtime + QStringLiteral("/brindlecot-") + QString::fromLatin1(hash) + QStringLiteral(".socket");
}

bool peerMayControl(qintptr socketDescriptor)
{
    ucred peer {};
    socklen_t size = sizeof peer;
    if (::getsockopt(int(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer)
        return false;
    return peer.uid == ::geteuid() || peer.uid == 0;
}
