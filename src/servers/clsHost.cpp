#include "servers/clsHost.h"

#include "servers/AnsiText.h"
#include "servers/BinaryFields.h"

bool clsHost::fitsDataFile() const
{
    return AnsiText::fromUnicode(mHostName).size() <= MaxStoredLength
        && AnsiText::hostPathBytes(mHostPath).size() <= MaxStoredLength;
}

bool clsHost::WriteProperties(QIODevice &file) const
{
    using namespace BinaryFields;
    const QByteArray name = AnsiText::fromUnicode(mHostName);
    const QByteArray path = AnsiText::hostPathBytes(mHostPath);
    if (name.size() > MaxStoredLength || path.size() > MaxStoredLength)
        return false;
    return writeInt16(file, qint16(name.size())) && writeBytes(file, name)
        && writeInt16(file, qint16(path.size())) && writeBytes(file, path)
        && writeInt16(file, mHostActive) && writeInt16(file, mHostStatus)
        && writeDouble(file, mHostPollDate) && writeInt32(file, mHostSynchError);
}
