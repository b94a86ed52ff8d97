#include "sync/TimeProtocol.h"

#include "platform/TimeZoneBias.h"

#include <QtEndian>

#include <limits>

namespace {

// 1900-01-01 00:00:00 on the Date scale, which counts from 1899-12-30.
constexpr qint64 Epoch1900 = 2 * DateTime::SecondsPerDay; // seconds

} // namespace

namespace TimeProtocol {

std::optional<quint32> decode(const QByteArray &block)
{
    if (block.size() < ValueSize)
        return std::nullopt;
    return qFromBigEndian<quint32>(block.constData());
}

QByteArray encode(quint32 value)
{
    QByteArray bytes(ValueSize, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

std::optional<quint32> fromUnixSeconds(qint64 seconds)
{
    if (seconds < -UnixEpochOffset || seconds > qint64(std::numeric_limits<quint32>::max()) - UnixEpochOffset)
        return std::nullopt;
    return quint32(seconds + UnixEpochOffset);
}

} // namespace TimeProtocol

Date TimeValueToLocal(quint32 value, qint32 bias)
{
    return DateTime::fromSerialSeconds(Epoch1900 + qint64(value) - qint64(bias) * 60);
}

std::optional<quint32> LocalToTimeValue(Date local, qint32 bias)
{
    const auto serial = DateTime::toSerialSeconds(local);
    if (!serial)
        return std::nullopt;
    const qint64 seconds = *serial + qint64(bias) * 60 - Epoch1900;
    if (seconds < 0 || seconds > qint64(std::numeric_limits<quint32>::max()))
        return std::nullopt;
    return quint32(seconds);
}

bool GetTimeZoneBias(const TimeZoneBias &zone, qint32 &bias)
{
    return zone.read(bias);
}

qint32 SecondsSince(Date d, Date now)
{
    const auto then = DateTime::toSerialSeconds(d);
    const auto current = DateTime::toSerialSeconds(now);
    if (!then || !current)
        return -1;
    const qint64 difference = *current - *then;
    if (difference > std::numeric_limits<qint32>::max() || difference < -qint64(std::numeric_limits<qint32>::max()))
        return -1;
    return qint32(difference < 0 ? -difference : difference);
}
