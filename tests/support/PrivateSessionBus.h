#pragma once

#include "StopProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// A session bus of a test's own (Debian's dbus-daemon), so that a test can put its own
// services on it (a tray watcher, a notification service) and the program under test finds
// them and nothing of the machine's desktop. Its socket lies in a private temporary folder;
// it starts no service on demand (no service folders), so a name is owned only when a test
// owns it. It ends with the object.
class PrivateSessionBus
{
public:
    static constexpr int StartTimeoutMs = 10000; // milliseconds

    PrivateSessionBus() = default;
    ~PrivateSessionBus() { stop(); }
    PrivateSessionBus(const PrivateSessionBus &) = delete;
    PrivateSessionBus &operator=(const PrivateSessionBus &) = delete;

    static bool available() { return !QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty(); }

    // Starts the bus and waits until it gives its address; false, with the reason in
    // *error, when it cannot.
    bool start(QString *error)
    {
        if (!mFolder.isValid()) {
            *error = QStringLiteral("no temporary folder for the bus: ") + mFolder.errorString();
            return false;
        }
        QFile::setPermissions(mFolder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString config = mFolder.filePath(QStringLiteral("bus.conf"));
        {
            QFile file(config);
            if (!file.open(QIODevice::WriteOnly)) {
                *error = QStringLiteral("cannot write the bus configuration: ") + file.errorString();
                return false;
            }
            file.write(QStringLiteral(
                           "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig>\n"
                           "  <type>session</type>\n"
                           "  <listen>unix:path=%1</listen>\n"
                           "  <auth>EXTERNAL</auth>\n"
                           "  <policy context=\"default\">\n"
                           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                           "    <allow eavesdrop=\"true\"/>\n"
                           "    <allow own=\"*\"/>\n"
                           "  </policy>\n"
                           "</busconfig>\n")
                           .arg(mFolder.filePath(QStringLiteral("bus")).toHtmlEscaped())
                           .toUtf8());
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        mDaemon.setProcessEnvironment(env);
        mDaemon.setProgram(QStringLiteral("dbus-daemon"));
        mDaemon.setArguments({ QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                               QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1") });
        mDaemon.start();
        if (!mDaemon.waitForStarted(StartTimeoutMs)) {
            *error = QStringLiteral("dbus-daemon did not start: ") + mDaemon.errorString();
            return false;
        }
        // The address comes on one line once the bus listens.
        QDeadlineTimer deadline(StartTimeoutMs);
        QByteArray line;
        while (!line.contains('\n') && !deadline.hasExpired() && mDaemon.state() == QProcess::Running) {
            mDaemon.waitForReadyRead(100);
            line += mDaemon.readAllStandardOutput();
        }
        if (!line.contains('\n')) {
            *error = QStringLiteral("dbus-daemon gave no address: ")
                     + QString::fromLocal8Bit(mDaemon.readAllStandardError());
            stop();
            return false;
        }
        mAddress = QString::fromUtf8(line.left(line.indexOf('\n')).trimmed());
        return true;
    }

    void stop()
    {
        stopProcess(mDaemon);
        mAddress.clear();
    }

    // Starts the bus for a test function: skips the function when there is no bus to be had
    // here. False when the function was skipped: it returns.
    bool startForTest()
    {
        if (!available()) {
            QTest::qSkip("no session bus here (dbus-daemon is not installed)", __FILE__, __LINE__);
            return false;
        }
        QString why;
        if (!start(&why)) {
            QTest::qSkip(qPrintable(QStringLiteral("cannot start a session bus: ") + why), __FILE__, __LINE__);
            return false;
        }
        return true;
    }

    // The address for DBUS_SESSION_BUS_ADDRESS, or for QDBusConnection::connectToBus();
    // empty until the bus runs.
    QString address() const { return mAddress; }

    // An environment with this bus as the session bus.
    QProcessEnvironment environment(QProcessEnvironment env = QProcessEnvironment::systemEnvironment()) const
    {
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), mAddress);
        return env;
    }

private:
    QTemporaryDir mFolder;
    QProcess mDaemon;
    QString mAddress;
};
