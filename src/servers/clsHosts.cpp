#include "servers/clsHosts.h"

#include "servers/AnsiText.h"
#include "servers/BinaryFields.h"

namespace {

constexpr qint16 HostBlockVersion = 2;

// One string field: its 16-bit length, then that many bytes.
bool readBytes(QIODevice &file, QByteArray &bytes)
{
    qint16 length = 0;
    return BinaryFields::readInt16(file, length) && BinaryFields::readBytes(file, length, bytes);
}

bool readString(QIODevice &file, QString &text)
{
    QByteArray bytes;
    if (!readBytes(file, bytes))
        return false;
    text = AnsiText::toUnicode(bytes);
    return true;
}

bool readHostPath(QIODevice &file, QString &path)
{
    QByteArray bytes;
    if (!readBytes(file, bytes))
        return false;
    path = AnsiText::hostPathFromBytes(bytes);
    return true;
}

bool readRecord(QIODevice &file, clsHost &host)
{
    QString name;
    QString path;
    qint16 active = 0;
    qint16 status = 0;
    double pollDate = 0;
    qint32 synchError = 0;
    if (!readString(file, name) || !readHostPath(file, path) || !BinaryFields::readInt16(file, active)
        || !BinaryFields::readInt16(file, status) || !BinaryFields::readDouble(file, pollDate)
        || !BinaryFields::readInt32(file, synchError))
        return false;
    host.setHostName(name);
    host.setHostPath(path);
    host.setHostActive(active);
    host.setHostStatus(status);
    host.setHostPollDate(pollDate);
    host.setHostSynchError(synchError);
    return true;
}

} // namespace

void clsHosts::Add(HostRef anItem)
{
    mItems.append(std::move(anItem));
}

clsHosts::HostRef clsHosts::Item(qint32 index) const
{
    if (index < 1 || index > mItems.size())
        return nullptr;
    return mItems.at(index - 1);
}

bool clsHosts::Remove(qint32 index)
{
    if (index < 1 || index > mItems.size())
        return false;
    mItems.removeAt(index - 1);
    return true;
}

qint32 clsHosts::count() const
{
    return qint32(mItems.size());
}

bool clsHosts::WriteProperties(QIODevice &file) const
{
    // Count first, so that the block holds exactly the records it announces.
    qint32 writable = 0;
    while (writable < count() && mItems.at(writable)->fitsDataFile())
        ++writable;

    if (!BinaryFields::writeInt16(file, HostBlockVersion) || !BinaryFields::writeInt32(file, writable))
        return false;
    for (qint32 i = 0; i < writable; ++i) {
        if (!mItems.at(i)->WriteProperties(file))
            return false;
    }
    return true;
}

bool clsHosts::ReadProperties(QIODevice &file)
{
    qint16 version = 0;
    qint32 records = 0;
    if (!BinaryFields::readInt16(file, version) || !BinaryFields::readInt32(file, records))
        return false;
    if (records < 1 || records >= MaxStoredRecords)
        return true;

    for (qint32 i = 0; i < records; ++i) {
        auto host = std::make_shared<clsHost>();
        if (!readRecord(file, *host))
            return false;
        if (FindPathname(host->HostPath()) == -1)
            Add(std::move(host));
    }
    return true;
}

qint32 clsHosts::FindPathname(const QString &thePathname) const
{
    const qint32 n = count();
    for (qint32 i = 0; i < n; ++i) {
        if (mItems.at(i)->HostPath() == thePathname)
            return i + 1;
    }
    return -1;
}

clsHosts::HostRef clsHosts::AddServer(const QString &theAddress)
{
    if (FindPathname(theAddress) != -1)
        return nullptr;
    auto record = std::make_shared<clsHost>();
    record->setHostName(theAddress);
    record->setHostPath(theAddress);
    Add(record);
    return record;
}

clsHosts::HostRef clsHosts::ChangeServer(const QString &thePathname, const QString &theAddress)
{
    const qint32 position = FindPathname(thePathname);
    if (position == -1 || FindPathname(theAddress) != -1)
        return nullptr;
    const qint16 active = Item(position)->HostActive();
    Remove(position);
    HostRef record = AddServer(theAddress);
    record->setHostActive(active);
    return record;
}

bool clsHosts::RemoveServer(const QString &thePathname)
{
    return Remove(FindPathname(thePathname));
}

bool clsHosts::SetServerActive(const QString &thePathname, bool active)
{
    const HostRef record = Item(FindPathname(thePathname));
    if (!record)
        return false;
    record->setHostActive(active ? 1 : 0);
    return true;
}
