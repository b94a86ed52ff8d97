#include "servers/Punycode.h"

#include <QChar>

#include <algorithm>
#include <vector>

namespace Punycode {

namespace {

constexpr quint32 Base = 36;
constexpr quint32 TMin = 1;
constexpr quint32 TMax = 26;
constexpr quint32 Skew = 38;
constexpr quint32 Damp = 700;
constexpr quint32 InitialBias = 72;
constexpr quint32 InitialN = 0x80;
constexpr char Delimiter = '-';
constexpr quint64 Limit = 0x10FFFF; // the last code point

struct CodePoint {
    char32_t value;
    bool upper; // decodes to the upper case of value
};

quint32 adapt(quint64 delta, quint64 points, bool first)
{
    delta = first ? delta / Damp : delta / 2;
    delta += delta / points;
    quint32 k = 0;
    while (delta > ((Base - TMin) * TMax) / 2) {
        delta /= Base - TMin;
        k += Base;
    }
    return quint32(k + (Base - TMin + 1) * delta / (delta + Skew));
}

quint32 threshold(quint32 k, quint32 bias)
{
    return k <= bias ? TMin : k >= bias + TMax ? TMax : k - bias;
}

char digit(quint32 d, bool upper)
{
    if (d < 26)
        return char((upper ? 'A' : 'a') + d);
    return char('0' + d - 26);
}

// Code points of a label; a surrogate without its partner stands for itself.
std::vector<CodePoint> codePoints(QStringView text)
{
    std::vector<CodePoint> points;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        bool upper = false;
        if (c >= InitialN) {
            const char32_t lower = QChar::toLower(c);
            if (lower != c && QChar::toUpper(lower) == c) {
                c = lower;
                upper = true;
            }
        }
        points.push_back({ c, upper });
    }
    return points;
}

} // namespace

QByteArray encode(QStringView label)
{
    const std::vector<CodePoint> input = codePoints(label);
    QByteArray out;
    for (const CodePoint &p : input) {
        if (p.value < InitialN)
            out.append(char(p.value));
    }
    const quint64 basic = quint64(out.size());
    if (basic > 0)
        out.append(Delimiter);

    quint64 n = InitialN;
    quint64 delta = 0;
    quint32 bias = InitialBias;
    quint64 handled = basic;
    while (handled < input.size()) {
        quint64 m = Limit + 1;
        for (const CodePoint &p : input) {
            if (p.value >= n && p.value < m)
                m = p.value;
        }
        delta += (m - n) * (handled + 1);
        n = m;
        for (const CodePoint &p : input) {
            if (p.value < n)
                ++delta;
            if (p.value != n)
                continue;
            quint64 q = delta;
            for (quint32 k = Base;; k += Base) {
                const quint32 t = threshold(k, bias);
                if (q < t)
                    break;
                out.append(digit(quint32(t + (q - t) % (Base - t)), false));
                q = (q - t) / (Base - t);
            }
            // The case of the last digit of a delta carries the flag.
            out.append(digit(quint32(q), p.upper));
            bias = adapt(delta, handled + 1, handled == basic);
            delta = 0;
            ++handled;
        }
        ++delta;
        ++n;
    }
    return out;
}

std::optional<QString> decode(QByteArrayView ascii)
{
    if (ascii.size() > DecodeLimit)
        return std::nullopt;
    std::vector<CodePoint> output;
    const qsizetype delimiter = ascii.lastIndexOf(Delimiter);
    qsizetype at = 0;
    if (delimiter > 0) {
        for (; at < delimiter; ++at) {
            const auto c = static_cast<unsigned char>(ascii[at]);
            if (c >= InitialN)
                return std::nullopt;
            output.push_back({ c, false });
        }
        ++at; // the delimiter
    }

    quint64 n = InitialN;
    quint64 i = 0;
    quint32 bias = InitialBias;
    while (at < ascii.size()) {
        const quint64 oldI = i;
        quint64 w = 1;
        bool upper = false;
        for (quint32 k = Base;; k += Base) {
            if (at >= ascii.size())
                return std::nullopt;
            const char c = ascii[at++];
            quint32 d = 0;
            if (c >= 'a' && c <= 'z') {
                d = quint32(c - 'a');
                upper = false;
            } else if (c >= 'A' && c <= 'Z') {
                d = quint32(c - 'A');
                upper = true;
            } else if (c >= '0' && c <= '9') {
                d = quint32(c - '0' + 26);
                upper = false;
            } else {
                return std::nullopt;
            }
            i += d * w;
            if (i > Limit * (output.size() + 1))
                return std::nullopt; // no code point can come of it
            const quint32 t = threshold(k, bias);
            if (d < t)
                break;
            w *= Base - t;
            if (w > Limit * (output.size() + 1))
                return std::nullopt;
        }
        const quint64 points = output.size() + 1;
        bias = adapt(i - oldI, points, oldI == 0);
        n += i / points;
        i %= points;
        if (n > Limit)
            return std::nullopt;
        output.insert(output.begin() + qsizetype(i), CodePoint { char32_t(n), upper });
        ++i;
    }

    QString text;
    text.reserve(qsizetype(output.size()));
    for (const CodePoint &p : output) {
        const char32_t c = p.upper ? QChar::toUpper(p.value) : p.value;
        if (QChar::requiresSurrogates(c)) {
            text.append(QChar(QChar::highSurrogate(c)));
            text.append(QChar(QChar::lowSurrogate(c)));
        } else {
            text.append(QChar(char16_t(c)));
        }
    }
    return text;
}

} // namespace Punycode
