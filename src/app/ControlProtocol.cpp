#include "app/ControlProtocol.h"

#include <QStringList>

namespace Control {

namespace {

// The requests that are one word; Show may add a token, Interval always adds its word.
struct Word {
    Command command;
    const char *word;
};
constexpr Word Words[] = {
    { Command::Show, "show" },
    { Command::SyncNow, "sync-now" },
    { Command::Quit, "quit" },
    { Command::Status, "status" },
    { Command::Pause, "pause" },
    { Command::Resume, "resume" },
    { Command::Interval, "interval" },
};

constexpr const char *IntervalWords[] = { "minute", "hour", "day" }; // codes 1, 2, 3

} // namespace

bool isToken(const QByteArray &token)
{
    if (token.isEmpty() || token.size() > MaxTokenBytes)
        return false;
    for (const char c : token) {
        if (c <= ' ' || c > '~') // controls, the space, DEL and every byte above ASCII
            return false;
    }
    return true;
}

QString intervalWord(qint32 code)
{
    if (code < 1 || code > 3)
        return {};
    return QString::fromLatin1(IntervalWords[code - 1]);
}

qint32 intervalCode(QStringView word)
{
    for (qint32 code = 1; code <= 3; ++code) {
        if (word == QLatin1String(IntervalWords[code - 1]))
            return code;
    }
    return 0;
}

QByteArray requestLine(const Request &request)
{
    for (const Word &word : Words) {
        if (word.command != request.command)
            continue;
        QByteArray line(word.word);
        if (request.command == Command::Show && !request.token.isEmpty()) {
            if (!isToken(request.token))
                return {};
            line += ' ' + request.token;
        }
        if (request.command == Command::Interval) {
            const QString interval = intervalWord(request.interval);
            if (interval.isEmpty())
                return {};
            line += ' ' + interval.toLatin1();
        }
        return line + '\n';
    }
    return {};
}

std::optional<Request> parseRequest(const QByteArray &line)
{
    if (line.size() > MaxRequestBytes || !line.endsWith('\n'))
        return std::nullopt;
    const QByteArray body = line.chopped(1);
    const qsizetype space = body.indexOf(' ');
    const QByteArray first = space < 0 ? body : body.left(space);
    const std::optional<QByteArray> argument = space < 0 ? std::nullopt : std::optional(body.mid(space + 1));
    for (const Word &word : Words) {
        if (first != word.word)
            continue;
        switch (word.command) {
        case Command::Show:
            // A token that is no token makes the whole request bad: it is not dropped
            // silently, nor passed on to the desktop.
            if (!argument)
                return Request(Command::Show);
            if (!isToken(*argument))
                return std::nullopt;
            return Request(Command::Show, *argument);
        case Command::Interval: {
            const qint32 code = argument ? intervalCode(QString::fromLatin1(*argument)) : 0;
            if (code == 0)
                return std::nullopt;
            return Request(Command::Interval, {}, code);
        }
        default:
            if (argument)
                return std::nullopt;
            return Request(word.command);
        }
    }
    return std::nullopt;
}

QByteArray encodeAnswer(const Answer &answer)
{
    return QByteArray::number(answer.status) + '\n' + answer.text.toUtf8();
}

std::optional<Answer> decodeAnswer(const QByteArray &bytes)
{
    const qsizetype end = bytes.indexOf('\n');
    if (end < 1 || end > 3)
        return std::nullopt;
    bool ok = false;
    const int status = bytes.left(end).toInt(&ok);
    if (!ok || status < 0 || status > 255)
        return std::nullopt;
    return Answer { status, QString::fromUtf8(bytes.mid(end + 1)) };
}

QString printable(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text) {
        // C0, DEL and C1 (which holds the one-byte CSI of some terminals).
        if (c.category() != QChar::Other_Control || c == QLatin1Char('\n') || c == QLatin1Char('\t'))
            kept += c;
    }
    return kept;
}

QString statusText(const Facts &facts)
{
    const QString yes = QStringLiteral("yes"), no = QStringLiteral("no");
    QStringList lines;
    lines << QStringLiteral("State: ") + facts.toolTip
          << QStringLiteral("Last synchronized: ")
                 + (facts.lastSynchronized.isEmpty() ? QStringLiteral("never") : facts.lastSynchronized)
          << QStringLiteral("Interval: ") + facts.interval
          << QStringLiteral("Paused: ") + (facts.paused ? yes : no)
          << QStringLiteral("Active servers: %1 of %2").arg(facts.activeServers).arg(facts.servers)
          << QStringLiteral("Serving port %1: ").arg(facts.port) + (facts.serving ? yes : no);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace Control
