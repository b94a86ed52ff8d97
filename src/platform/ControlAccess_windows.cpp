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

bool peerMayControl(qintptr)
{
    // The pipe's access list admits only this user (and the system).
    return true;
}
