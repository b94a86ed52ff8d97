#include "servers/BinaryFields.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>

namespace BinaryFields {

namespace {

template<typename T>
bool readValue(QIODevice &file, T &value)
{
    char raw[sizeof(T)];
    if (file.read(raw, qint64(sizeof raw)) != qint64(sizeof raw))
        return false;
    value = qFromLittleEndian<T>(raw);
    return true;
}

template<typename T>
bool writeValue(QIODevice &file, T value)
{
    char raw[sizeof(T)];
    qToLittleEndian<T>(value, raw);
    return file.write(raw, qint64(sizeof raw)) == qint64(sizeof raw);
}

// Sequential devices cannot say how much is left, so they are read in pieces: a bogus
// length then costs at most one piece of memory before the read comes up short.
constexpr qint64 PieceSize = 64 * 1024; // bytes

} // namespace

bool readInt16(QIODevice &file, qint16 &value)
{
    return readValue(file, value);
}

bool readInt32(QIODevice &file, qint32 &value)
{
    return readValue(file, value);
}

bool readDouble(QIODevice &file, double &value)
{
    return readValue(file, value);
}

bool readBytes(QIODevice &file, qint64 length, QByteArray &bytes)
{
    bytes.clear();
    if (length < 0)
        return false;
    if (!file.isSequential() && length > file.size() - file.pos())
        return false;
    while (bytes.size() < length) {
        const qint64 piece = std::min(PieceSize, length - bytes.size());
        const qsizetype start = bytes.size();
        bytes.resize(start + piece);
        if (file.read(bytes.data() + start, piece) != piece)
            return false;
    }
    return true;
}

bool writeInt16(QIODevice &file, qint16 value)
{
    return writeValue(file, value);
}

bool writeInt32(QIODevice &file, qint32 value)
{
    return writeValue(file, value);
}

bool writeDouble(QIODevice &file, double value)
{
    return writeValue(file, value);
}

bool writeBytes(QIODevice &file, const QByteArray &bytes)
{
    return file.write(bytes) == bytes.size();
}

} // namespace BinaryFields
