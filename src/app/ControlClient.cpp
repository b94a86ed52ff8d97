#include "app/ControlClient.h"

#include "platform/ControlAccess.h"
#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>

#include <cstdio>

namespace ControlClient {

std::optional<Control::Answer> ask(const QString &dataFolder, const Control::Request &request)
{
    QLocalSocket socket;
    socket.connectToServer(controlSocketName(dataFolder));
    const QDeadlineTimer deadline(Control::RequestTimeoutMs);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return std::nullopt;
    const QByteArray line = Control::requestLine(request);
    if (line.isEmpty() || !peerMayAnswer(socket.socketDescriptor(), dataFolder))
        return std::nullopt;
    socket.write(line);
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return std::nullopt;
    QByteArray answer;
    while (answer.size() <= Control::MaxAnswerBytes && !deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
            break; // closed after the answer, or out of time
        answer += socket.read(Control::MaxAnswerBytes + 1 - answer.size());
    }
    answer += socket.readAll().left(Control::MaxAnswerBytes + 1 - answer.size());
    if (answer.size() > Control::MaxAnswerBytes || socket.state() == QLocalSocket::ConnectedState)
        return std::nullopt; // too long, or not closed: not a whole answer
    std::optional<Control::Answer> decoded = Control::decodeAnswer(answer);
    if (decoded)
        decoded->text = Control::printable(decoded->text);
    return decoded;
}

int command(const QString &dataFolder, const Control::Request &request)
{
    const QString lock = dataFolder + QStringLiteral("Brindlecot.lock");
    const QDeadlineTimer deadline(StartUpWaitMs);
    for (;;) {
        if (const std::optional<Control::Answer> answer = ask(dataFolder, request)) {
            const QByteArray text = answer->text.toLocal8Bit();
            std::fputs(text.constData(), request.command == Control::Command::Status ? stdout : stderr);
            return answer->status;
        }
        if (!SingleInstance::heldElsewhere(lock)) {
            std::fputs("Brindlecot is not running.\n", stderr);
            return Control::NotRunning;
        }
        if (deadline.hasExpired())
            break;
        QThread::msleep(RetryMs);
    }
    std::fputs(NoAnswer, stderr);
    return Control::Refused;
}

Control::Request showRequest()
{
    for (const char *name : { "XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID" }) {
        if (const QByteArray token = qgetenv(name); Control::isToken(token))
            return Control::Request(Control::Command::Show, token);
    }
    return Control::Request(Control::Command::Show);
}

} // namespace ControlClient
