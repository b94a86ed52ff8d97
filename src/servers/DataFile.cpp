#include "servers/DataFile.h"

#include "common/IntervalChoice.h"
#include "servers/AnsiText.h"
#include "servers/BinaryFields.h"
#include "servers/DefaultServers.h"
#include "servers/clsHosts.h"
#include "platform/DataFolder.h"

#include <QFile>
#include <QSaveFile>

namespace {

constexpr int ReservedBytes = 8;       // bytes
constexpr qint16 FirstHostBlockVersion = 6;

// Files of version 5 or lower named one server instead of a list. With the exclusive
// flag set it was the only server in use.
void applyLegacyServer(clsHosts &Hosts, qint16 exclusive, const QString &path)
{
    AddDefaultServers(Hosts);
    if (path.isEmpty())
        return;
    if (exclusive == 1) {
        for (const auto &host : std::as_const(Hosts.mItems))
            host->setHostActive(0);
    }
    const qint32 position = Hosts.FindPathname(path);
    if (position == -1) {
        auto host = std::make_shared<clsHost>();
        host->setHostPath(path);
        host->setHostActive(exclusive == 1 ? 1 : 0);
        Hosts.Add(std::move(host));
    } else if (exclusive == 1) {
        Hosts.Item(position)->setHostActive(1);
    }
}

} // namespace

QString dataFilePath(const QString &dataFolder)
{
    return dataFolder + QLatin1String(DataFile::FileName);
}

void CreateDataFolder(const QString &dataFolder)
{
    createPrivateFolder(dataFolder);
}

bool DataFileIsValid(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return DataFileIsValid(file);
}

bool DataFileIsValid(QIODevice &file)
{
    qint16 version = 0;
    return BinaryFields::readInt16(file, version) && version >= 1;
}

bool LoadDataFile(const QString &dataFolder, IntervalChoice &interval, clsHosts &Hosts)
{
    // A file that an earlier version left readable or writable by others is closed to them
    // first: it names the servers that set this account's clock.
    keepFilePrivate(dataFilePath(dataFolder));
    QFile file(dataFilePath(dataFolder));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return LoadDataFile(file, interval, Hosts);
}

bool LoadDataFile(QIODevice &file, IntervalChoice &intervalChoice, clsHosts &Hosts)
{
    using namespace BinaryFields;
    qint16 version = 0;
    QByteArray reserved;
    qint16 exclusive = 0;
    qint32 legacyLength = 0;
    QByteArray legacyPath;
    qint32 interval = 0;
    if (!readInt16(file, version) || !readBytes(file, ReservedBytes, reserved) || !readInt16(file, exclusive)
        || !readInt32(file, legacyLength) || !readBytes(file, legacyLength, legacyPath)
        || !readInt32(file, interval))
        return false;

    intervalChoice.applyCode(interval);
    if (version >= FirstHostBlockVersion)
        return Hosts.ReadProperties(file);
    applyLegacyServer(Hosts, exclusive, AnsiText::toUnicode(legacyPath));
    return true;
}

bool SaveDataFile(const QString &dataFolder, const IntervalChoice &interval, const clsHosts &Hosts)
{
    QSaveFile file(dataFilePath(dataFolder));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The new file is born with the umask (0666 & ~umask) or with the mode of the file it
    // replaces; either may let others read or write it.
    keepFilePrivate(file.handle());
    // QSaveFile::commit() does not report a failure of its final flush (Qt 6.4): a
    // short write there would replace the old file with a truncated one. Flushing
    // first brings that failure to light while the old file is still in place.
    if (!SaveDataFile(file, interval, Hosts) || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool SaveDataFile(QIODevice &file, const IntervalChoice &interval, const clsHosts &Hosts)
{
    using namespace BinaryFields;
    return writeInt16(file, DataFile::Version) && writeBytes(file, QByteArray(ReservedBytes, '\0'))
        && writeInt16(file, 0) && writeInt32(file, 0) && writeInt32(file, interval.code())
        && Hosts.WriteProperties(file);
}
