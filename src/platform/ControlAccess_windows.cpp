#include "platform/ControlAccess.h"

#include <QCryptographicHash>
#include <QDir>

QString controlSocketName(const QString &dataFolder)
{
    // A named pipe, one per data folder; QLocalServer::UserAccessOption keeps it the user's.
    const QByteArray folder = QDir::cleanPath(dataFolder).toLower().toUtf8();
    return QStringLiteral("brindlecot-")
           + QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16));
}

// Pipes have no runtime folder to refuse.
QString runtimeFolderRefusal(const QString &)
{
    return {};
}

bool peerMayControl(qintptr)
{
    // The pipe's access list admits only this user (and the system).
    return true;
}

bool peerMayAnswer(qintptr, const QString &)
{
    // Qt gives no account of a pipe's server to check here; the pipe is made with an access
    // list for this user, and the all-users data folder is shared by every account anyway.
    return true;
}
