#pragma once

#include <QByteArray>
#include <QtGlobal>

class QIODevice;

// Little-endian fields of the data file, read and written at the device's current
// position. Every function returns false when the device refuses or runs out of bytes;
// the caller then ends its work, keeping what it has done so far.
namespace BinaryFields {

bool readInt16(QIODevice &file, qint16 &value);
bool readInt32(QIODevice &file, qint32 &value);
bool readDouble(QIODevice &file, double &value);

// Reads exactly length bytes. A negative length, or one beyond what the device still
// holds, fails before anything is allocated: lengths come from the file and are not
// trusted.
bool readBytes(QIODevice &file, qint64 length, QByteArray &bytes);

bool writeInt16(QIODevice &file, qint16 value);
bool writeInt32(QIODevice &file, qint32 value);
bool writeDouble(QIODevice &file, double value);
bool writeBytes(QIODevice &file, const QByteArray &bytes);

} // namespace BinaryFields
