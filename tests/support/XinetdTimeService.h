#pragma once

#include "FreePort.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

// Debian's xinetd serving its own built-in RFC 868 time service on 127.0.0.1 and a free port:
// a real time server that this program's code did not write. The service runs as long as
// the object lives.
class XinetdTimeService
{
public:
    static constexpr const char *DefaultProgram = "/usr/sbin/xinetd";
    static constexpr int StartTimeoutMs = 10000; // milliseconds

    explicit XinetdTimeService(QString program = QString::fromLatin1(DefaultProgram))
        : mProgram(std::move(program))
    {
    }

    ~XinetdTimeService() { stop(); }

    XinetdTimeService(const XinetdTimeService &) = delete;
    XinetdTimeService &operator=(const XinetdTimeService &) = delete;

    // Starts xinetd and waits until the port takes connections. On failure returns false,
    // with the reason in *error.
    bool start(QString *error = nullptr)
    {
        stop();
        QString why;
        // Another program may take the port between probing and binding; try a few ports.
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (startOnce(&why))
                return true;
            stop();
        }
        if (error)
            *error = why;
        return false;
    }

    quint16 port() const { return mPort; }
    QHostAddress address() const { return QHostAddress(QHostAddress::LocalHost); }
    bool isRunning() const { return mProcess.state() == QProcess::Running; }

    void stop()
    {
        if (mProcess.state() != QProcess::NotRunning) {
            mProcess.kill();
            mProcess.waitForFinished(5000);
        }
        mPort = 0;
    }

private:
    bool startOnce(QString *why)
    {
        if (!QFile::exists(mProgram)) {
            *why = QStringLiteral("%1 is not installed (apt-get install xinetd)").arg(mProgram);
            return false;
        }
        if (!mDir.isValid()) {
            *why = QStringLiteral("no temporary folder: %1").arg(mDir.errorString());
            return false;
        }
        const quint16 port = freeLoopbackPort();
        if (port == 0) {
            *why = QStringLiteral("no free port on 127.0.0.1");
            return false;
        }

        const QString confPath = mDir.filePath(QStringLiteral("xinetd.conf"));
        const QString pidPath = mDir.filePath(QStringLiteral("xinetd.pid"));
        QFile conf(confPath);
        if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            *why = QStringLiteral("cannot write %1: %2").arg(confPath, conf.errorString());
            return false;
        }
        QByteArray text = "service time\n{\n"
                          "    id          = time-stream\n"
                          "    type        = INTERNAL UNLISTED\n"
                          "    socket_type = stream\n"
                          "    protocol    = tcp\n"
                          "    wait        = no\n";
        if (::geteuid() == 0) // xinetd can only switch users when it runs as root
            text += "    user        = root\n";
        text += "    bind        = 127.0.0.1\n"
                "    port        = " + QByteArray::number(port) + "\n"
                // Tests connect in bursts; the default limits would switch the service off
                // after 50 connections in a second.
                "    cps         = 100000 1\n"
                "    instances   = UNLIMITED\n"
                "    per_source  = UNLIMITED\n"
                "}\n";
        conf.write(text);
        conf.close();

        mProcess.setProgram(mProgram);
        mProcess.setArguments({QStringLiteral("-dontfork"), QStringLiteral("-f"), confPath,
                                QStringLiteral("-pidfile"), pidPath});
        mProcess.setProcessChannelMode(QProcess::MergedChannels);
        mProcess.start();
        if (!mProcess.waitForStarted(5000)) {
            *why = QStringLiteral("cannot start %1: %2").arg(mProgram, mProcess.errorString());
            return false;
        }

        const QDeadlineTimer deadline(StartTimeoutMs);
        while (!deadline.hasExpired()) {
            if (mProcess.state() != QProcess::Running) {
                *why = QStringLiteral("xinetd exited (code %1): %2")
                           .arg(mProcess.exitCode())
                           .arg(QString::fromLocal8Bit(mProcess.readAll()));
                return false;
            }
            QTcpSocket probe;
            probe.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
            if (probe.waitForConnected(500)) {
                probe.abort();
                mPort = port;
                return true;
            }
            QThread::msleep(50);
        }
        *why = QStringLiteral("xinetd did not accept on 127.0.0.1:%1 within %2 ms")
                   .arg(port)
                   .arg(StartTimeoutMs);
        return false;
    }

    QString mProgram;
    QTemporaryDir mDir;
    QProcess mProcess;
    quint16 mPort = 0;
};
