#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QTemporaryFile>
#include <QTimer>
#include <QUdpSocket>

#include <cerrno>
#include <cstring>
#include <utility>

// The private view of the resolver's files is Linux's (a mount namespace); elsewhere
// failure() says so and the lookups stay as they are.
#ifdef Q_OS_LINUX
#include <sched.h>
#include <sys/mount.h>
#endif

// A name server on a loopback address of its own (127.53.0.N, port 53) that answers every
// question about a host name after a scripted hold: 127.0.0.1 for an address record, no
// record of any other type. It stands for a slow name server, the first of a list that is
// dead, say, so that a test can look a name up through the system's real resolver and
// still never leave loopback.
//
// Making one also sends this process's host-name lookups to it: the process moves into a
// mount namespace of its own, where /etc/resolv.conf names only this server and
// /etc/nsswitch.conf asks the hosts file and then the name server. The machine's files stay
// as they are. Make one per process, before its first host-name lookup (a thread that
// already looked a name up would go on using the machine's name servers), from the main
// thread, and keep it to the end: it needs root (port 53 and the namespace); failure()
// says why it could not serve. Each name is asked once per process: Qt keeps what it
// looked up for a minute.
class ScriptedNameServer
{
public:
    int hold = 0;      // milliseconds each answer waits
    int questions = 0; // address questions received

    ScriptedNameServer()
    {
#ifndef Q_OS_LINUX
        // Nothing would ask it: port 53 is left alone.
        mFailure = resolveThrough({}, {});
        return;
#endif
        // Some other process may serve on one address already.
        constexpr int Addresses = 32;
        for (int n = 1; n <= Addresses && mAddress.isNull(); ++n) {
            const QHostAddress address(QStringLiteral("127.53.0.%1").arg(n));
            if (mSocket.bind(address, DnsPort))
                mAddress = address;
            else
                mSocket.close(); // a new socket for the next address
        }
        if (mAddress.isNull()) {
            mFailure = QStringLiteral("no address to serve on port 53 (root is needed): %1").arg(mSocket.errorString());
            return;
        }
        QObject::connect(&mSocket, &QUdpSocket::readyRead, &mSocket, [this] { answerWaiting(); });
        mFailure = resolveThroughThis();
    }

    QString failure() const { return mFailure; }
    QHostAddress address() const { return mAddress; }

private:
    static constexpr quint16 DnsPort = 53;
    static constexpr int HeaderSize = 12;       // bytes of a message's header
    static constexpr quint16 AddressRecord = 1; // type A

    void answerWaiting()
    {
        // Each datagram is one question; a bounded number per turn of the event loop.
        constexpr int Batch = 64;
        for (int i = 0; i < Batch && mSocket.hasPendingDatagrams(); ++i) {
            QHostAddress sender;
            quint16 port = 0;
            QByteArray query(int(mSocket.pendingDatagramSize()), '\0');
            if (mSocket.readDatagram(query.data(), query.size(), &sender, &port) < 0)
                continue;
            const QByteArray reply = answerTo(query);
            if (reply.isEmpty())
                continue;
            QTimer::singleShot(hold, Qt::PreciseTimer, &mSocket,
                               [this, reply, sender, port] { mSocket.writeDatagram(reply, sender, port); });
        }
    }

    // The answer to one question, empty for a message that is not one.
    QByteArray answerTo(const QByteArray &query)
    {
        if (query.size() < HeaderSize)
            return {};
        // The name: labels up to the empty one, then its type and class.
        int end = HeaderSize;
        for (int labels = 0; end < query.size() && query.at(end) != 0 && labels < 128; ++labels)
            end += 1 + quint8(query.at(end));
        end += 1 + 4;
        if (end > query.size())
            return {};
        const quint16 type = quint16(quint8(query.at(end - 4)) << 8 | quint8(query.at(end - 3)));
        const bool address = type == AddressRecord;
        questions += address;

        QByteArray reply = query.left(2);                              // the question's identifier
        const char recursion = char(query.at(2) & 0x01);               // "recursion desired", echoed
        reply += char(0x84 | recursion);                               // an authoritative response
        reply += char(0x80);                                           // recursion available, no error
        reply += QByteArray::fromHex("0001") + QByteArray::fromHex(address ? "0001" : "0000") + QByteArray(4, '\0');
        reply += query.mid(HeaderSize, end - HeaderSize);              // the question again
        if (address) {
            reply += QByteArray::fromHex("c00c00010001");              // the name of the question, A, IN
            reply += QByteArray::fromHex("0000003c");                  // to be kept for a minute
            reply += QByteArray::fromHex("00047f000001");              // four bytes: 127.0.0.1
        }
        return reply;
    }

    // Empty on success, else why not.
    QString resolveThroughThis()
    {
        const QByteArray resolvConf = "nameserver " + mAddress.toString().toLatin1()
                                      + "\n# Wait for the scripted hold rather than ask again.\noptions timeout:30 attempts:1\n";
        return resolveThrough(resolvConf, "hosts: files dns\n");
    }

#ifdef Q_OS_LINUX
    // Moves this process into a mount namespace of its own and mounts the two files' new
    // content over them there: the mounts keep the content after the temporary files are
    // gone. Empty on success, else why not.
    static QString resolveThrough(const QByteArray &resolvConf, const QByteArray &nsswitchConf)
    {
        if (::unshare(CLONE_NEWNS) != 0)
            return QStringLiteral("no mount namespace of its own: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        // What is mounted from here on stays in this namespace.
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return QStringLiteral("the mounts could not be made private: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        const std::pair<const char *, QByteArray> files[] = {{"/etc/resolv.conf", resolvConf}, {"/etc/nsswitch.conf", nsswitchConf}};
        for (const auto &[path, content] : files) {
            QTemporaryFile file;
            if (!file.open() || file.write(content) != content.size() || !file.flush())
                return QStringLiteral("cannot write %1").arg(file.fileName());
            if (::mount(QFile::encodeName(file.fileName()).constData(), path, nullptr, MS_BIND, nullptr) != 0)
                return QStringLiteral("cannot mount over %1: %2").arg(QLatin1String(path), QString::fromLocal8Bit(std::strerror(errno)));
        }
        return QString();
    }
#else
    static QString resolveThrough(const QByteArray &, const QByteArray &)
    {
        return QStringLiteral("lookups are sent to a name server of the test's own on Linux only");
    }
#endif

    QUdpSocket mSocket;
    QHostAddress mAddress;
    QString mFailure;
};
