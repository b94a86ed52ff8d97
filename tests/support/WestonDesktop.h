#pragma once

#include "LeakSuppressions.h"
#include "StopProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLibraryInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

// A Wayland desktop nobody sees: Debian's weston on its headless back end, drawing in
// memory (pixman) so that its screenshooter can read the screen, with its desktop shell
// (a panel on top, windows stacked as a user's desktop stacks them). Its socket lives in a
// runtime folder of its own, mode 0700 as a session's is; programs reach it by the
// socket's full path, so that their own XDG_RUNTIME_DIR stays theirs. Everything it starts
// ends with the object.
//
// Debian 12's weston (10) offers no xdg-activation (weston-info lists none): a window comes
// on top when it is mapped, and nothing a program asks later changes the stacking. Nor has
// its headless back end a seat, so no window has the keyboard: what a test sees is the
// stacking, on screenshots.
class WestonDesktop
{
public:
    static constexpr int StartTimeoutMs = 10000; // milliseconds
    static constexpr int ToolTimeoutMs = 10000;  // milliseconds
    static constexpr int PollMs = 50;            // milliseconds
    static constexpr int Width = 800;            // pixels
    static constexpr int Height = 600;           // pixels

    WestonDesktop() = default;
    ~WestonDesktop() { stop(); }
    WestonDesktop(const WestonDesktop &) = delete;
    WestonDesktop &operator=(const WestonDesktop &) = delete;

    // Why this desktop cannot be had here (weston, its screenshooter or Qt's Wayland
    // platform plugin is not installed); empty when it can.
    static QString missing()
    {
        QStringList absent;
        for (const char *tool : { "weston", "weston-screenshooter" }) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                absent << QString::fromLatin1(tool);
        }
        // Debian's qt6-wayland; without it a Qt program cannot show itself on Wayland.
        const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
        if (platforms.entryList({ QStringLiteral("libqwayland-generic.so") }, QDir::Files).isEmpty())
            absent << QStringLiteral("Qt's Wayland platform plugin (qt6-wayland)");
        return absent.isEmpty() ? QString() : QStringLiteral("not installed: ") + absent.join(QStringLiteral(", "));
    }

    // Starts weston and waits until its socket answers; false, with the reason in *error,
    // when it does not.
    bool start(QString *error)
    {
        if (!mRuntime.isValid() || !QFile::setPermissions(mRuntime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
            *error = QStringLiteral("no private runtime folder");
            return false;
        }
        QProcessEnvironment env = withLeakSuppressions(QProcessEnvironment::systemEnvironment());
        for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "DBUS_SESSION_BUS_ADDRESS" })
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), mRuntime.path());
        mWeston.setProcessEnvironment(env);
        mWeston.setProgram(QStringLiteral("weston"));
        // --debug offers the screenshooter to clients; --idle-time=0 keeps the screen on.
        mWeston.setArguments({ QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--use-pixman"),
                               QStringLiteral("--width=%1").arg(Width), QStringLiteral("--height=%1").arg(Height),
                               QStringLiteral("--socket=%1").arg(QLatin1String(SocketName)), QStringLiteral("--idle-time=0"),
                               QStringLiteral("--debug"), QStringLiteral("--log=%1").arg(logFile()) });
        mWeston.start();
        if (!mWeston.waitForStarted(StartTimeoutMs)) {
            *error = QStringLiteral("weston did not start: ") + mWeston.errorString();
            return false;
        }
        const QDeadlineTimer deadline(StartTimeoutMs);
        while (!deadline.hasExpired() && mWeston.state() == QProcess::Running) {
            QLocalSocket probe;
            probe.connectToServer(socketPath());
            if (probe.waitForConnected(PollMs))
                return waitForPanel(error);
            QThread::msleep(PollMs);
        }
        *error = QStringLiteral("weston's socket did not answer: ") + log();
        return false;
    }

    void stop() { stopProcess(mWeston); }

    QString socketPath() const { return mRuntime.filePath(QLatin1String(SocketName)); }
    QString log() const
    {
        QFile file(logFile());
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

    // The given environment (the system's when empty) on this desktop only: WAYLAND_DISPLAY
    // names the socket by its path, Qt is told to use Wayland, and no X display is named.
    // XDG_RUNTIME_DIR is left as given.
    QProcessEnvironment environment(QProcessEnvironment env = QProcessEnvironment()) const
    {
        if (env.isEmpty())
            env = withLeakSuppressions(QProcessEnvironment::systemEnvironment());
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_SOCKET"));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), socketPath());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        return env;
    }

    // The whole screen, by weston's screenshooter; null when it gave none.
    QImage screenshot() const
    {
        QTemporaryDir folder;
        if (!folder.isValid())
            return {};
        QProcess shooter;
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), mRuntime.path());
        shooter.setProcessEnvironment(env);
        shooter.setWorkingDirectory(folder.path()); // where it writes its file
        shooter.start(QStringLiteral("weston-screenshooter"), QStringList());
        if (!shooter.waitForFinished(ToolTimeoutMs)) {
            shooter.kill();
            shooter.waitForFinished(ToolTimeoutMs);
            return {};
        }
        const QStringList shots = QDir(folder.path()).entryList({ QStringLiteral("*.png") }, QDir::Files);
        return shots.size() == 1 ? QImage(folder.filePath(shots.first())) : QImage();
    }

private:
    static constexpr char SocketName[] = "wayland-test";

    QString logFile() const { return mRuntime.filePath(QStringLiteral("weston.log")); }

    // The desktop shell draws its background and panel after the socket answers; a
    // screenshot taken before shows a black screen.
    bool waitForPanel(QString *error) const
    {
        const QDeadlineTimer deadline(StartTimeoutMs);
        while (!deadline.hasExpired() && mWeston.state() == QProcess::Running) {
            const QImage screen = screenshot();
            if (!screen.isNull() && qGray(screen.pixel(screen.width() / 2, screen.height() / 2)) > 0)
                return true;
            QThread::msleep(PollMs * 4);
        }
        *error = QStringLiteral("weston showed no desktop: ") + log();
        return false;
    }

    QTemporaryDir mRuntime;
    QProcess mWeston;
};
