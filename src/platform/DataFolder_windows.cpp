#include "platform/DataFolder.h"

#include <QDir>

#include <qt_windows.h>
#include <shlobj.h>

namespace {

// The root of the drive that holds Windows ("C:\" and the like).
QString windowsDrive()
{
    wchar_t directory[MAX_PATH + 1] = {};
    const UINT length = GetWindowsDirectoryW(directory, MAX_PATH);
    const QString drive = QString::fromWCharArray(directory, length <= MAX_PATH ? int(length) : 0).left(2);
    return (drive.size() == 2 ? drive : QStringLiteral("C:")) + QLatin1Char('\\');
}

} // namespace

// The all-users application-data folder that the system names (%ProgramData%, C:\ProgramData
// as installed). The Documents and Settings path named it only up to Windows XP; since then
// it is a compatibility junction, not a folder of its own. Should the system name no folder,
// ProgramData on the drive of Windows, where it always is.
QString defaultDataFolder()
{
    PWSTR folder = nullptr;
    QString path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DEFAULT, nullptr, &folder)))
        path = QString::fromWCharArray(folder);
    CoTaskMemFree(folder); // also when the call failed
    if (path.isEmpty())
        path = windowsDrive() + QStringLiteral("ProgramData");
    if (!path.endsWith(QLatin1Char('\\')))
        path += QLatin1Char('\\');
    return path + QStringLiteral("Brindlecot\\");
}

// The folder is shared by every account on purpose: the installer makes it, and lets the
// Users group change the data file in it, so that every account keeps one list. A folder
// made here (a program run without the installer) takes the rights of %ProgramData%.
void createPrivateFolder(const QString &dataFolder)
{
    QDir().mkpath(dataFolder);
}

void keepFilePrivate(int) { }

void keepFilePrivate(const QString &) { }
