#include "app/ControlProtocol.h"

#include <QStringList>

namespace Control {

namespace {

struct Word {
    Command command;
    const char *line;
};
constexpr Word Words[] = {
    { Command::Show, "show\n" },
    { Command::SyncNow, "sync-now\n" },
    { Command::Quit, "quit\n" },
    { Command::Status, "status\n" },
};

} // namespace

QByteArray requestLine(Command command)
{
    for (const Word &word : Words) {
        if (word.command == command)
            return word.line;
    }
    return {};
}

std::optional<Command> parseRequest(const QByteArray &line)
{
    for (const Word &word : Words) {
        if (line == word.line)
            return word.command;
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
