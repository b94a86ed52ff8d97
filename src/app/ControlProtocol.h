#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <utility>

// What a second start of the program says to the running copy over its control socket, and
// what it hears back. A request is one short line; the answer is the exit status for the
// second start on one line, then the text that it prints.
namespace Control {

constexpr qsizetype MaxTokenBytes = 255;    // an activation token
// A request line, its newline included: the longest is "show", a space and a token.
constexpr qsizetype MaxRequestBytes = 16 + MaxTokenBytes;
constexpr qsizetype MaxAnswerBytes = 4096;  // what a second start reads at most
constexpr int RequestTimeoutMs = 2000;      // milliseconds a connection may take
constexpr int MaxConnections = 16;          // open at once; further ones are closed at once

enum class Command {
    Show,     // open the Time Servers window, or bring it to the front
    SyncNow,  // "Synchronize Now"
    Quit,     // "Exit"
    Status,   // the running copy's state, for standard output
    Pause,    // "Pause Synchronization" checked
    Resume,   // "Pause Synchronization" unchecked
    Interval, // "Synchronize Every": "Minute", "Hour" or "Day"
};

// One request. A bare command converts to one, for the requests that carry nothing else.
struct Request {
    Request(Command command = Command::Show, QByteArray token = {}, qint32 interval = 0)
        : command(command), token(std::move(token)), interval(interval)
    {
    }
    Command command;
    // Show: the launcher's activation token, with which the window may take the focus on a
    // desktop that hands it out only so (Wayland); empty for none.
    QByteArray token;
    // Interval: the interval code, 1 minute, 2 hour, 3 day.
    qint32 interval;

    bool operator==(const Request &) const = default;
};

// The exit statuses of a second start.
constexpr int Done = 0;
constexpr int Refused = 1;     // the running copy would not do it now (paused, say)
constexpr int BadRequest = 2;
constexpr int NotRunning = 3;  // no copy runs

// True for what a request may carry as an activation token: 1 to MaxTokenBytes bytes of
// printable ASCII without a space.
bool isToken(const QByteArray &token);
// The interval's word on the command line and in a request: "minute", "hour", "day"; and
// its code, 0 for any other word.
QString intervalWord(qint32 code);
qint32 intervalCode(QStringView word);

// The line of a request; empty for one that cannot be sent (a token that is no token, an
// interval code outside 1..3).
QByteArray requestLine(const Request &request);
// The request of a complete line (newline included); none for anything else.
std::optional<Request> parseRequest(const QByteArray &line);

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
