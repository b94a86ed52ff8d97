#include "servers/AnsiText.h"

#include "servers/Punycode.h"

#include <QList>

#include <algorithm>

namespace AnsiText {

namespace {

// Characters of the bytes 0x80..0x9F. The five unassigned bytes map to the control
// character of the same number, so that reading and writing are exact inverses.
constexpr char16_t HighCharacters[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 0x98
};

constexpr char Unrepresentable = '?';
constexpr QStringView AcePrefix = u"xn--";
constexpr QByteArrayView AceBytes = "xn--";

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// The byte of one UTF-16 unit, or -1 when the code page lacks it. Surrogates never have one.
int byteOf(char16_t unit)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return unit;
    for (int i = 0; i < 32; ++i) {
        if (HighCharacters[i] == unit)
            return 0x80 + i;
    }
    return -1;
}

} // namespace

QString toUnicode(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = (byte >= 0x80 && byte < 0xA0) ? QChar(HighCharacters[byte - 0x80]) : QChar(byte);
    }
    return text;
}

QByteArray fromUnicode(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        const int byte = byteOf(unit);
        bytes.append(byte < 0 ? Unrepresentable : char(byte));
        // A character beyond U+FFFF is one '?', not two.
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    }
    return bytes;
}

bool isRepresentable(QStringView text)
{
    for (const QChar c : text) {
        if (byteOf(c.unicode()) < 0)
            return false;
    }
    return true;
}

QByteArray hostPathBytes(const QString &path)
{
    const bool representable = isRepresentable(path);
    QByteArray bytes;
    bytes.reserve(path.size());
    bool first = true;
    for (const QStringView label : QStringView(path).split(u'.')) {
        if (!first)
            bytes.append('.');
        first = false;
        // A label that begins like the ASCII form is written in that form once more, so
        // that reading never takes a name typed that way for one written that way.
        if (label.startsWith(AcePrefix, Qt::CaseInsensitive) || (!representable && !isAscii(label)))
            bytes += AceBytes.toByteArray() + Punycode::encode(label);
        else
            bytes += fromUnicode(label);
    }
    return bytes;
}

QString hostPathFromBytes(const QByteArray &bytes)
{
    QString path;
    path.reserve(bytes.size());
    bool first = true;
    for (const QByteArray &label : bytes.split('.')) {
        if (!first)
            path.append(u'.');
        first = false;
        std::optional<QString> decoded;
        if (label.size() > AcePrefix.size()
            && qstrnicmp(label.data(), AcePrefix.size(), AceBytes.data(), AceBytes.size()) == 0)
            decoded = Punycode::decode(QByteArrayView(label).sliced(AcePrefix.size()));
        path += decoded ? *decoded : toUnicode(label);
    }
    return path;
}

QString storedText(const QString &text)
{
    return toUnicode(fromUnicode(text));
}

QString storedHostPath(const QString &path)
{
    return hostPathFromBytes(hostPathBytes(path));
}

} // namespace AnsiText
