#include "platform/DataFolder.h"

#include <QDir>

#include <qt_windows.h>

// The all-users application-data folder on the drive that holds Windows.
QString defaultDataFolder()
{
    wchar_t directory[MAX_PATH + 1] = {};
    const UINT length = GetWindowsDirectoryW(directory, MAX_PATH);
    QString drive = QString::fromWCharArray(directory, length <= MAX_PATH ? int(length) : 0);
    if (!drive.endsWith(QLatin1Char('\\')))
        drive += QLatin1Char('\\');
    drive = drive.left(3); // "C:\"
    return drive + QStringLiteral("Documents and Settings\\All Users\\Application Data\\Brindlecot\\");
}

// The folder is shared by every account on purpose; the installer sets its rights.
void createPrivateFolder(const QString &dataFolder)
{
    QDir().mkpath(dataFolder);
}

void keepFilePrivate(int) { }

void keepFilePrivate(const QString &) { }
