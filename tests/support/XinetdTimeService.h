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
        : m_program(std::move(program))
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

    quint16 port() const { return m_port; }
    QHostAddress address() const { return QHostAddress(QHostAddress::LocalHost); }
    bool isRunning() const { return m_process.state() == QProcess::Running; }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
        m_port = 0;
    }

private:
    bool startOnce(QString *why)
    {
        if (!QFile::exists(m_program)) {
            *why = QStringLiteral("%1 is not installed (apt-get install xinetd)").arg(m_program);
            return false;
        }
        if (!m_dir.isValid()) {
            *why = QStringLiteral("no temporary folder: %1").arg(m_dir.errorString());
            return false;
        }
        const quint16 port = freeLoopbackPort();
        if (port == 0) {
            *why = QStringLiteral("no free port on 127.0.0.1");
            return false;
        }

        const QString confPath = m_dir.filePath(QStringLiteral("xinetd.conf"));
        const QString pidPath = m_dir.filePath(QStringLiteral("xinetd.pid"));
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

        m_process.setProgram(m_program);
        m_process.setArguments({QStringLiteral("-dontfork"), QStringLiteral("-f"), confPath,
                                QStringLiteral("-pidfile"), pidPath});
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start();
        if (!m_process.waitForStarted(5000)) {
            *why = QStringLiteral("cannot start %1: %2").arg(m_program, m_process.errorString());
            return false;
        }

        const QDeadlineTimer deadline(StartTimeoutMs);
        while (!deadline.hasExpired()) {
            if (m_process.state() != QProcess::Running) {
                *why = QStringLiteral("xinetd exited (code %1): %2")
                           .arg(m_process.exitCode())
                           .arg(QString::fromLocal8Bit(m_process.readAll()));
                return false;
            }
            QTcpSocket probe;
            probe.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
            if (probe.waitForConnected(500)) {
                probe.abort();
                m_port = port;
                return true;
            }
            QThread::msleep(50);
        }
        *why = QStringLiteral("xinetd did not accept on 127.0.0.1:%1 within %2 ms")
                   .arg(port)
                   .arg(StartTimeoutMs);
        return false;
    }

    QString m_program;
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
