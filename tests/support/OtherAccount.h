#pragma once

#include "StopProcess.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>

#include <memory>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

// Processes that run as another account than the tests' own, the way a hostile user on the
// same machine would act: holding a lock on one of this account's files, or listening on a
// local socket where this account's program may look for its running copy. Only root may
// switch accounts; the tests skip without it. The account needs no entry in the password
// file: setpriv takes the number. The scripts are perl's (perl-base is part of every Debian
// system), so that the process that takes the lock or owns the socket is the one named.
namespace OtherAccount {

constexpr uint Nobody = 65534;    // nobody and nogroup
constexpr uint Stranger = 65533;  // a third account, neither this one nor nobody
constexpr int ReadyTimeoutMs = 5000; // milliseconds

// Why this machine cannot switch accounts here; empty when it can.
inline QString unavailable()
{
#ifdef Q_OS_WIN
    return QStringLiteral("another account's process is started through setpriv, which Windows lacks");
#else
    if (::geteuid() != 0)
        return QStringLiteral("needs root to run a process as another account");
    for (const char *tool : { "setpriv", "perl", "sh" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("no %1 here").arg(QLatin1String(tool));
    return {};
#endif
}

// The setpriv words that run what follows as the account (its user and group ID alike).
inline QStringList as(uint account)
{
    return { QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(account), QStringLiteral("--regid=%1").arg(account),
             QStringLiteral("--clear-groups"), QStringLiteral("--") };
}

// Waits until the process writes the line on standard output; false when it ends first or
// the time is up.
inline bool waitForLine(QProcess &process, QByteArray &out, const QByteArray &line, int timeoutMs = ReadyTimeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!out.contains(line)) {
        if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
            return false;
        process.waitForReadyRead(20);
        out += process.readAllStandardOutput();
    }
    return true;
}

// A process that stops and reports at the end of the test.
struct Process {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    QByteArray out; // what it wrote on standard output so far
    ~Process() { stopProcess(*process); }
    // What it wrote so far, read anew.
    QByteArray told()
    {
        out += process->readAllStandardOutput();
        return out;
    }
};

// How the other account comes by its lock.
enum class Locker {
    Itself,  // its long-running process takes the lock: /proc/locks names a live process
    Ended,   // a short-lived process took it and ended, the descriptor lives on in another
};

// The account holds a shared lock on the file (which must exist) for up to a minute, through
// a descriptor opened by this process's account: what an account that opened the file while
// an earlier version left it readable to all keeps when the file is closed to it later.
// Null when the lock could not be taken.
inline std::unique_ptr<Process> holdSharedLock(const QString &path, uint account, Locker locker = Locker::Itself)
{
    // The shell opens the file as this account and execs setpriv, which keeps descriptor 3.
    const QString holder = locker == Locker::Itself
        ? QStringLiteral("perl -e 'use Fcntl qw(:flock); open(my $f, \"<&=\", 3) or die $!; "
                         "flock($f, LOCK_SH | LOCK_NB) or die $!; $| = 1; print \"held\\n\"; sleep 60'")
        : QStringLiteral("sh -c 'flock --shared --nonblock 3 && echo held && exec sleep 60'");
    auto held = std::make_unique<Process>();
    held->process->start(QStringLiteral("sh"), { QStringLiteral("-c"), QStringLiteral("exec %1 %2 3<\"$1\"")
                                                     .arg(as(account).join(QLatin1Char(' ')), holder),
                                                 QStringLiteral("sh"), path });
    if (!waitForLine(*held->process, held->out, "held\n")) {
        qWarning("the other account took no lock: %s", held->process->readAllStandardError().constData());
        return nullptr;
    }
    return held;
}

// The account listens on a local socket at the path (made 0777 so that any account may
// connect), and writes on standard output "connection" for each caller and "request: ..."
// for what it says within a second; then answers each with the bytes given and closes.
// Null when it could not listen.
inline std::unique_ptr<Process> listen(const QString &path, uint account, const QByteArray &answer)
{
    static const char script[] = R"(
        use IO::Socket::UNIX; use IO::Select;
        my ($path, $answer) = @ARGV;
        $| = 1;
        my $server = IO::Socket::UNIX->new(Type => SOCK_STREAM(), Local => $path, Listen => 5) or die "$path: $!";
        chmod 0777, $path;
        print "listening\n";
        while (my $caller = $server->accept) {
            print "connection\n";
            if (IO::Select->new($caller)->can_read(1) && sysread($caller, my $bytes, 256)) {
                print "request: $bytes";
            }
            syswrite($caller, $answer);
            close $caller;
        }
    )";
    auto listening = std::make_unique<Process>();
    listening->process->start(QStringLiteral("sh"),
                              { QStringLiteral("-c"), QStringLiteral("exec %1 perl -e \"$1\" \"$2\" \"$3\"").arg(as(account).join(QLatin1Char(' '))),
                                QStringLiteral("sh"), QString::fromLatin1(script), path, QString::fromUtf8(answer) });
    if (!waitForLine(*listening->process, listening->out, "listening\n")) {
        qWarning("the other account does not listen: %s", listening->process->readAllStandardError().constData());
        return nullptr;
    }
    return listening;
}

} // namespace OtherAccount
