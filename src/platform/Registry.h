#pragma once

#include <QString>

#include <qt_windows.h>

// Reading the Windows registry (Windows only). The program only ever reads it: the active
// time-zone bias and the system's product name.

// Reads one value under the root key as text. A string value gives its characters up to the
// first zero; a 32-bit number, or a binary value of at most eight bytes read as a little-endian
// number, gives that number in decimal (a 32-bit value, and a binary value of four bytes,
// as a signed number: the bias of a zone east of Greenwich is negative). False with result
// empty when the key or the value cannot be read, or a binary value is longer than eight
// bytes; true with result unchanged for a value of any other type.
bool ReadRegistryValue(HKEY root, const QString &keyPath, const QString &valueName, QString &result);
