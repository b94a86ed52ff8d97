#pragma once

#include "common/Date.h"

#include <QByteArray>
#include <QtGlobal>

#include <optional>

class TimeZoneBias;

// The Time Protocol value: an unsigned count of seconds since 1900-01-01 00:00:00 UTC,
// sent as four bytes, most significant first.
namespace TimeProtocol {

constexpr quint16 Port = 37;          // TCP
constexpr int ValueSize = 4;          // bytes
constexpr qint64 UnixEpochOffset = 2208988800; // seconds from 1900-01-01 to 1970-01-01 UTC

// The first four bytes of a block; empty when it holds fewer.
std::optional<quint32> decode(const QByteArray &block);
QByteArray encode(quint32 value);
// Universal time (seconds since 1970-01-01 00:00:00 UTC) as a value: empty for times before
// 1900 or after 2036-02-07 06:28:15 UTC, which the four bytes cannot hold.
std::optional<quint32> fromUnixSeconds(qint64 seconds);

} // namespace TimeProtocol

// The value as local time: UTC - bias minutes. Exact to the second.
Date TimeValueToLocal(quint32 value, qint32 bias);
// A local time as a value: empty for times before 1900 or after 2036-02-07 06:28:15 UTC,
// which the four bytes cannot hold.
std::optional<quint32> LocalToTimeValue(Date local, qint32 bias);

// The active bias in minutes (UTC = local + bias), read anew at each call.
bool GetTimeZoneBias(const TimeZoneBias &zone, qint32 &bias);

// |now - d| in whole seconds; -1 when either is not a valid date or the difference does
// not fit a signed 32-bit count (about 68 years).
qint32 SecondsSince(Date d, Date now);
