#include "platform/DataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t PrivateFolderMode = 0700;
constexpr mode_t PrivateFileMode = 0600;
constexpr mode_t ModeBits = 07777;

int openNoFollow(const QString &path, int flags)
{
    // No trailing separator: with one, the last component would be followed if it is a link.
    const QByteArray name = QFile::encodeName(QDir::cleanPath(path));
    int fd;
    do {
        fd = ::open(name.constData(), flags | O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// fchmod on the open descriptor: the object checked is the object changed.
void tighten(int fd, bool folder)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_uid != ::geteuid())
        return;
    if (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode))
        return;
    const mode_t wanted = folder ? PrivateFolderMode : PrivateFileMode;
    if ((info.st_mode & ModeBits) != wanted)
        ::fchmod(fd, wanted);
}

} // namespace

// $XDG_DATA_HOME/Brindlecot/, or ~/.local/share/Brindlecot/ when the variable is unset.
QString defaultDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1String("/Brindlecot/");
}

void createPrivateFolder(const QString &dataFolder)
{
    // The parents (~/.local/share, say) are the user's and other programs' business: they
    // keep the umask's modes. The folder itself is born 0700; mkdir takes the umask off
    // that, which the fchmod below puts right.
    const QString folder = QDir::cleanPath(dataFolder);
    QDir().mkpath(QFileInfo(folder).path());
    ::mkdir(QFile::encodeName(folder).constData(), PrivateFolderMode);
    const int fd = openNoFollow(folder, O_DIRECTORY);
    if (fd < 0)
        return; // not there, or a link the user set up: left as it is
    tighten(fd, true);
    ::close(fd);
}

void keepFilePrivate(int descriptor)
{
    if (descriptor >= 0)
        tighten(descriptor, false);
}

void keepFilePrivate(const QString &path)
{
    const int fd = openNoFollow(path, 0);
    if (fd < 0)
        return;
    tighten(fd, false);
    ::close(fd);
}
