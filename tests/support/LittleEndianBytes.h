#pragma once

#include <QByteArray>
#include <QtEndian>

// Building blocks for data-file fixtures written out field by field.
namespace LittleEndianBytes {

inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text); // spaces are skipped
}

inline QByteArray int16(qint16 v)
{
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

inline QByteArray int32(qint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

} // namespace LittleEndianBytes
