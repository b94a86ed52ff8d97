#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Text in the data file is one byte per character in Windows-1252, the ANSI code page of
// Western Windows, so that files move between this program's builds unchanged.
//
// Every byte reads as a character and writes back as the same byte: 0x81, 0x8D, 0x8F,
// 0x90 and 0x9D, which Windows-1252 leaves unassigned, read as the control characters
// U+0081 and so on, as Windows itself reads them. A character outside the code page
// cannot be stored: it is written as one '?' per character.
namespace AnsiText {

QString toUnicode(const QByteArray &bytes);
QByteArray fromUnicode(QStringView text);

// True when text is written and read back unchanged.
bool isRepresentable(QStringView text);

// A host name is stored so that it reads back exactly as typed, letter case included, and
// still names the same host for a reader that takes the bytes as they are: as typed when
// the code page holds it; otherwise each label outside ASCII in its IDNA ASCII form
// ("xn--" and Punycode, with the case of its letters in the case of the Punycode
// letters). A label typed beginning with "xn--" is written in that form once more, so
// two different names never share their bytes.
QByteArray hostPathBytes(const QString &path);
QString hostPathFromBytes(const QByteArray &bytes);

// What a text or a host name will be after the data file has been saved and loaded.
QString storedText(const QString &text);
QString storedHostPath(const QString &path);

} // namespace AnsiText
