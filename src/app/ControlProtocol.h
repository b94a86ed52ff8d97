#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

// What a second start of the program says to the running copy over its control socket, and
// what it hears back. A request is one short line; the answer is the exit status for the
// second start on one line, then the text that it prints.
namespace Control {

constexpr qsizetype MaxRequestBytes = 32;   // a request line, its newline included
constexpr qsizetype MaxAnswerBytes = 4096;  // what a second start reads at most
constexpr int RequestTimeoutMs = 2000;      // milliseconds a connection may take
constexpr int MaxConnections = 16;          // open at once; further ones are closed at once

enum class Command {
    Show,    // open the Time Servers window, or bring it to the front
    SyncNow, // "Synchronize Now"
    Quit,    // "Exit"
    Status,  // the running copy's state, for standard output
};

// The exit statuses of a second start.
constexpr int Done = 0;
constexpr int Refused = 1;     // the running copy would not do it now (paused, say)
constexpr int BadRequest = 2;
constexpr int NotRunning = 3;  // no copy runs

QByteArray requestLine(Command command);
// The command of a complete request line (newline included); none for anything else.
std::optional<Command> parseRequest(const QByteArray &line);

struct Answer {
    int status = Done;
    QString text; // printed by the second start: standard output for Status, else standard error
};
QByteArray encodeAnswer(const Answer &answer);
// None when the bytes are not a whole answer.
std::optional<Answer> decodeAnswer(const QByteArray &bytes);
// The text as a second start prints it: without control characters (escape sequences, a
// carriage return, a backspace) but for the newline and the tab, so that what answers
// cannot rewrite the terminal.
QString printable(const QString &text);

// What "--status" prints, from the running copy's state.
struct Facts {
    QString toolTip;         // the icon's tool tip, as the icon shows it now
    QString lastSynchronized; // the date and time of the last success, or empty for never
    QString interval;        // "minute", "hour" or "day"
    bool paused = false;
    int activeServers = 0;
    int servers = 0;
    bool serving = false;    // listening on the Time Protocol port
    quint16 port = 37;       // that port
};
QString statusText(const Facts &facts);

} // namespace Control
