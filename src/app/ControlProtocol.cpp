#include "app/ControlProtocol.h"
#include "app/TrayDisplay.h"
#include "state/ProgramState.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <utility>

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

QString statusDate(Date date)
{
    const QDate day = DateTime::dayOf(date);
    const QTime time = DateTime::timeOf(date);
    if (date == DateTime::Never || !day.isValid() || !time.isValid())
        return QStringLiteral("never");
    return day.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + time.toString(QStringLiteral("HH:mm:ss"));
}

namespace {

// A value on one line: a server's name or an error text may hold anything.
QString oneLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return line;
}

QString stateOf(const Facts &facts)
{
    // The tool tip's words, without the synchronized state's date, which the line of the
    // last success gives in this text's own form.
    switch (facts.trayAlert) {
    case TrayAlert::Synchronized:
        return QStringLiteral("Synchronized");
    case TrayAlert::Failed:
        return oneLine(facts.trayAlertMessage);
    case TrayAlert::Paused:
    case TrayAlert::TooFarOff:
        return TrayDisplay::fixedStateText(facts.trayAlert);
    default:
        return TrayDisplay::fixedStateText(TrayAlert::Looking);
    }
}

QString clockAccessOf(const ClockAccess &access)
{
    if (access.privileged)
        return QStringLiteral("yes");
    switch (access.grant) {
    case ClockGrant::SystemRight:
        return QStringLiteral("no (an administrator grants the right \"Change the system time\")");
    case ClockGrant::HelperGroup:
        break;
    }
    if (access.helperRunnable)
        return QStringLiteral("yes, through the clock helper");
    if (access.helperInstalled)
        return QStringLiteral("no (an administrator allows it: sudo adduser %1 brindlecot)")
            .arg(access.account.isEmpty() ? QStringLiteral("USER") : access.account);
    return QStringLiteral("no (the clock helper is not installed)");
}

} // namespace

QString statusText(const Facts &facts)
{
    const QString yes = QStringLiteral("yes"), no = QStringLiteral("no");
    QString server = QStringLiteral("none");
    if (!facts.lastServerPath.isEmpty()) {
        server = oneLine(facts.lastServerPath);
        if (!facts.lastServerName.isEmpty() && facts.lastServerName != facts.lastServerPath)
            server += QStringLiteral(" (%1)").arg(oneLine(facts.lastServerName));
    }
    const bool succeeded = facts.lastSuccess != DateTime::Never;
    if (succeeded && facts.lastServerPath.isEmpty())
        server = QStringLiteral("(removed from the list since)");
    QString next;
    if (facts.nextAttempt)
        next = QStringLiteral("in %1 s").arg(*facts.nextAttempt);
    else if (facts.paused)
        next = QStringLiteral("none while paused");
    else
        next = QStringLiteral("when the Time Servers window closes");

    QList<std::pair<QString, QString>> lines {
        { QStringLiteral("State"), stateOf(facts) },
        { QStringLiteral("Server"), server },
        { QStringLiteral("Last success"), succeeded ? statusDate(facts.lastSuccess) : QStringLiteral("never") },
        { QStringLiteral("Correction"), facts.correction ? QStringLiteral("%1 s").arg(*facts.correction) : QStringLiteral("none") },
        { QStringLiteral("Next attempt"), next },
        { QStringLiteral("Interval"), intervalWord(facts.interval) },
        { QStringLiteral("Paused"), facts.paused ? yes : no },
        { QStringLiteral("Active servers"), QStringLiteral("%1 of %2").arg(facts.activeServers).arg(facts.servers) },
        { QStringLiteral("May set the clock"), clockAccessOf(facts.clockAccess) },
        { QStringLiteral("Serving port %1").arg(facts.port), facts.serving ? yes : no },
    };
    // Only when one is seen: where the system cannot tell, nothing is said. The values stand
    // in one column whether or not this line is there.
    const QString other = QStringLiteral("Other time service");
    qsizetype width = other.size();
    for (const auto &line : lines)
        width = std::max(width, line.first.size());
    if (!facts.otherTimeService.isEmpty())
        lines.append({ other, QStringLiteral("%1 also sets this clock").arg(oneLine(facts.otherTimeService)) });
    QString text;
    for (const auto &[name, value] : lines)
        text += (name + QLatin1Char(':')).leftJustified(width + 2) + value + QLatin1Char('\n');
    return text;
}

} // namespace Control
