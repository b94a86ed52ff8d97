#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// Punycode (RFC 3492) of one host-name label, with the mixed-case annotation of its
// Annex A, and without any other mapping: decode(encode(label)) is the label exactly, in
// every character and letter case.
//
// An upper-case letter that its lower case maps back to is encoded as that lower case,
// flagged: the label then differs from the plain lower-case ASCII form only in the case
// of its letters, which name servers ignore, so it still names the host that IDNA names.
namespace Punycode {

// The ASCII form without the "xn--" prefix.
QByteArray encode(QStringView label);
// Empty when the text is no Punycode, or longer than DecodeLimit.
std::optional<QString> decode(QByteArrayView ascii);

constexpr qsizetype DecodeLimit = 1024; // bytes: bounds the work for a hostile file

} // namespace Punycode
