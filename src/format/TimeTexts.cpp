#include "format/TimeTexts.h"

namespace {

// The format without its time-zone fields ("t" and its longer forms) and the blanks and
// separators left around them; quoted text stays as it is.
QString withoutZone(const QString &format)
{
    QString kept;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        kept += c;
    }
    return kept.trimmed();
}

} // namespace

QString FormatLongTime(const QTime &time, const QLocale &locale)
{
    QString format = withoutZone(locale.timeFormat(QLocale::LongFormat));
    if (!format.contains(QLatin1Char('s')))
        format = QStringLiteral("HH:mm:ss");
    return locale.toString(time, format);
}

QString FormatMediumTime(const QTime &time, const QLocale &locale)
{
    // The 12-hour clock in every locale; the AM/PM words are the locale's where it has them.
    const QLocale &words = locale.amText().isEmpty() || locale.pmText().isEmpty() ? QLocale::c() : locale;
    return words.toString(time, QStringLiteral("hh:mm AP"));
}
