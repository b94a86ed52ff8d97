#pragma once

#include "LeakSuppressions.h"
#include "StopProcess.h"

#include <QDeadlineTimer>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QThread>

#include <optional>

// A virtual X display (Debian's Xvfb) with a notification area (Debian's trayer) on its top
// edge, and the X tools that look at it: xdotool finds windows and presses buttons,
// ImageMagick's import takes screenshots. Everything it starts ends with the object.
class TrayDesktop
{
public:
    static constexpr int StartTimeoutMs = 10000;  // milliseconds
    static constexpr int ToolTimeoutMs = 10000;   // milliseconds
    static constexpr int TrayHeight = 24;         // pixels

    TrayDesktop() = default;
    ~TrayDesktop() { stop(); }
    TrayDesktop(const TrayDesktop &) = delete;
    TrayDesktop &operator=(const TrayDesktop &) = delete;

    // The tools beside the X server that this uses: the tray, xdotool and import.
    static QStringList tools() { return { QStringLiteral("trayer"), QStringLiteral("xdotool"), QStringLiteral("import") }; }

    // The programs this needs that are not installed; empty when all are.
    static QStringList missingTools()
    {
        QStringList missing;
        for (const QString &tool : QStringList { QStringLiteral("Xvfb") } + tools()) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                missing << tool;
        }
        return missing;
    }

    // Starts the X server alone, with one screen of the given size (width x height x depth);
    // false, with the reason in *error, when it cannot.
    bool startDisplay(QString *error, const QString &screen = QStringLiteral("640x480x24"))
    {
        mXvfb.setProgram(QStringLiteral("Xvfb"));
        // -displayfd: the server picks a free display and writes its number when ready.
        mXvfb.setArguments({ QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                              QStringLiteral("0"), screen, QStringLiteral("-nolisten"), QStringLiteral("tcp") });
        mXvfb.start();
        if (!mXvfb.waitForStarted(StartTimeoutMs)) {
            *error = QStringLiteral("Xvfb did not start: ") + mXvfb.errorString();
            return false;
        }
        QDeadlineTimer deadline(StartTimeoutMs);
        QByteArray number;
        while (!number.contains('\n') && !deadline.hasExpired() && mXvfb.state() == QProcess::Running) {
            mXvfb.waitForReadyRead(100);
            number += mXvfb.readAllStandardOutput();
        }
        if (!number.contains('\n')) {
            *error = QStringLiteral("Xvfb gave no display: ") + QString::fromLocal8Bit(mXvfb.readAllStandardError());
            return false;
        }
        mDisplay = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
        return true;
    }

    // Starts the display for a test function the way every desktop test does: skips the
    // function when no X server can be had here (Xvfb is not installed, or does not start),
    // fails it when one of the tools it uses is missing, since the test command installs
    // them (scripts/deps test). False when the function was skipped or failed: it returns.
    bool startForTest(const QStringList &tools, const QString &screen = QStringLiteral("640x480x24"))
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
            QTest::qSkip("no X server here (Xvfb is not installed)", __FILE__, __LINE__);
            return false;
        }
        QStringList missing;
        for (const QString &tool : tools) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                missing << tool;
        }
        if (!missing.isEmpty()) {
            QTest::qFail(qPrintable(QStringLiteral("missing: %1 (scripts/deps test installs %2)")
                                        .arg(missing.join(QLatin1Char(' ')),
                                             missing.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"))),
                         __FILE__, __LINE__);
            return false;
        }
        QString why;
        if (!startDisplay(&why, screen)) {
            QTest::qSkip(qPrintable(QStringLiteral("cannot start an X server: ") + why), __FILE__, __LINE__);
            return false;
        }
        return true;
    }

    // Starts the notification area and waits until its window shows. trayer has been seen,
    // once, to show no window within the limit on a machine busy with six tests at once; it
    // gets a second start then, and the first one's end is reported.
    bool startTray(QString *error)
    {
        if (startTrayOnce(error))
            return true;
        qWarning("TrayDesktop: %s; starting trayer again", qPrintable(*error));
        stopProcess(mTrayer);
        return startTrayOnce(error);
    }

    void stop()
    {
        stopProcess(mTrayer);
        stopProcess(mXvfb);
    }

    QString display() const { return mDisplay; }

    // The system's environment with DISPLAY naming this display and no other desktop.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.insert(QStringLiteral("DISPLAY"), mDisplay);
        return withLeakSuppressions(env);
    }

    // Runs a tool on this display to its end; its standard output, or nothing on failure.
    std::optional<QByteArray> run(const QString &program, const QStringList &arguments,
                                  const QByteArray &input = QByteArray()) const
    {
        QProcess tool;
        tool.setProcessEnvironment(environment());
        tool.start(program, arguments);
        if (!tool.waitForStarted(ToolTimeoutMs))
            return std::nullopt;
        if (!input.isEmpty())
            tool.write(input);
        tool.closeWriteChannel();
        if (!tool.waitForFinished(ToolTimeoutMs)) {
            tool.kill();
            tool.waitForFinished(3000);
            return std::nullopt;
        }
        if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
            return std::nullopt;
        return tool.readAllStandardOutput();
    }

    // The visible windows of an X class (the program's, the tray's), on screen.
    QList<QRect> windows(const QString &windowClass) const
    {
        QList<QRect> found;
        const auto ids = run(QStringLiteral("xdotool"),
                             { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"), windowClass });
        if (!ids)
            return found;
        for (const QByteArray &id : ids->split('\n')) {
            if (id.trimmed().isEmpty())
                continue;
            const auto shape = run(QStringLiteral("xdotool"), { QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
                                                                QString::fromLatin1(id.trimmed()) });
            if (!shape)
                continue;
            int x = 0, y = 0, w = 0, h = 0;
            for (const QByteArray &line : shape->split('\n')) {
                const int equals = line.indexOf('=');
                const QByteArray key = line.left(equals);
                const int value = line.mid(equals + 1).toInt();
                if (key == "X") x = value;
                else if (key == "Y") y = value;
                else if (key == "WIDTH") w = value;
                else if (key == "HEIGHT") h = value;
            }
            if (w > 0 && h > 0)
                found << QRect(x, y, w, h);
        }
        return found;
    }

    // Waits until at least count windows of the class are visible; gives up early when the
    // process that should show them (if named) has ended.
    bool waitForWindows(const QString &windowClass, int count, int timeoutMs, const QProcess *owner = nullptr) const
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired() && (!owner || owner->state() == QProcess::Running)) {
            if (windows(windowClass).size() >= count)
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    QImage screenshot() const
    {
        const auto png = run(QStringLiteral("import"), { QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-") });
        return png ? QImage::fromData(*png, "PNG") : QImage();
    }

    // Presses and releases a mouse button at a point of the screen.
    bool click(const QPoint &at, int button) const
    {
        return run(QStringLiteral("xdotool"), { QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                                               QString::number(at.y()), QStringLiteral("click"), QString::number(button) })
            .has_value();
    }

private:
    bool startTrayOnce(QString *error)
    {
        mTrayer.setProcessEnvironment(environment());
        mTrayer.setProgram(QStringLiteral("trayer"));
        mTrayer.setArguments({ QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                                QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                                QStringLiteral("--height"), QString::number(TrayHeight), QStringLiteral("--SetDockType"),
                                QStringLiteral("true"), QStringLiteral("--transparent"), QStringLiteral("false") });
        mTrayer.start();
        if (!mTrayer.waitForStarted(StartTimeoutMs)) {
            *error = QStringLiteral("trayer did not start: ") + mTrayer.errorString();
            return false;
        }
        if (waitForWindows(QStringLiteral("trayer"), 1, StartTimeoutMs, &mTrayer))
            return true;
        *error = mTrayer.state() == QProcess::Running
            ? QStringLiteral("trayer showed no window")
            : QStringLiteral("trayer ended with status %1 before it showed a window: %2")
                  .arg(mTrayer.exitCode())
                  .arg(QString::fromLocal8Bit(mTrayer.readAllStandardError()).trimmed());
        return false;
    }

    QProcess mXvfb;
    QProcess mTrayer;
    QString mDisplay;
};
