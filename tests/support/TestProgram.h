#pragma once

#include "LeakSuppressions.h"
#include "TestState.h"

#include "common/IntervalChoice.h"
#include "servers/DataFile.h"
#include "servers/clsHosts.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#ifdef Q_OS_WIN
#include "ClockPrivilege.h"
#else
#include <csignal>
#include <sys/types.h>
#endif

// The real executable in a home of its own: a temporary folder that is its data home
// ($XDG_DATA_HOME) and, in a private subfolder, its runtime folder ($XDG_RUNTIME_DIR), where
// it keeps its control socket. Every data file written here names only loopback servers.
//
// It may never set this machine's clock, whatever it is told: every start goes through
// setpriv without CAP_SYS_TIME in the bounding set, which nothing the program starts can
// gain back. setpriv execs the program in its own place, so the process is the program's.
// Nor may it take port 37 (CAP_NET_BIND_SERVICE) even when the tests run as root: a test
// running beside it may need that port for a scripted server of its own.
//
// On Windows the privilege is SeSystemtimePrivilege: the test program removes it from its
// own token before the first start, and every program it starts inherits that token. The
// data folder there is the system's all-users folder, which no variable moves: a Windows
// test uses only starts that end before the program reads or writes its data.
class TestProgram
{
public:
    static constexpr int StartTimeoutMs = 5000;  // milliseconds
    static constexpr int EndTimeoutMs = 5000;    // milliseconds
    static constexpr int PollMs = 50;            // milliseconds

    explicit TestProgram(const QString &executable = QStringLiteral(BRINDLECOT_EXECUTABLE))
        : mExecutable(executable)
    {
        if (mHome.isValid()) {
            QDir().mkpath(runtimeFolder());
            QFile::setPermissions(runtimeFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }

    bool isValid() const { return mHome.isValid(); }
    QString executable() const { return mExecutable; }
    QString home() const { return mHome.path(); }
    QString runtimeFolder() const { return mHome.path() + QStringLiteral("/run"); }
    QString dataFolder() const { return mHome.path() + QStringLiteral("/Brindlecot/"); }
    QString dataFile() const { return dataFolder() + QLatin1String(DataFile::FileName); }
    QString lockFile() const { return dataFolder() + QStringLiteral("Brindlecot.lock"); }

    // A data file listing the given servers, all active, with the interval code
    // (1 minute, 2 hour, 3 day). A version other than the current one is written in its
    // first two bytes only, for the older versions whose layout is the same.
    bool writeDataFile(const QStringList &servers, qint32 intervalCode = 3, qint16 version = DataFile::Version) const
    {
        if (!QDir().mkpath(dataFolder()))
            return false;
        IntervalChoice interval;
        interval.applyCode(intervalCode);
        clsHosts hosts;
        for (const QString &path : servers)
            hosts.Add(hostRecord(path));
        if (!SaveDataFile(dataFolder(), interval, hosts))
            return false;
        if (version == DataFile::Version)
            return true;
        QFile file(dataFile());
        const char bytes[2] = { char(version & 0xff), char(version >> 8) };
        return file.open(QIODevice::ReadWrite) && file.write(bytes, 2) == 2;
    }

    struct Saved {
        bool read = false;
        IntervalChoice Interval;
        clsHosts Hosts;
    };
    Saved readDataFile() const
    {
        Saved saved;
        saved.read = LoadDataFile(dataFolder(), saved.Interval, saved.Hosts);
        return saved;
    }

    // The environment of every start: this home, no display unless one is named, no session
    // or system bus, and no platform chosen for Qt.
    QProcessEnvironment environment(const QString &display = QString()) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS" })
            env.remove(QString::fromLatin1(name));
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("XDG_DATA_HOME"), home());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder());
        // No system bus: the machine's own time services (systemd-timesyncd, chronyd) are not
        // named in the lines that the tests compare. A test that offers one names its bus.
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=") + home() + QStringLiteral("/no-system-bus"));
        return withLeakSuppressions(env);
    }

    // Starts the program with these arguments and this environment (environment() when
    // empty) in the given process; false when it could not be started.
    bool start(QProcess &process, const QStringList &arguments = {},
               const QProcessEnvironment &env = QProcessEnvironment()) const
    {
        process.setProcessEnvironment(env.isEmpty() ? environment() : env);
#ifdef Q_OS_WIN
        if (!dropClockPrivilege())
            return false;
        process.setProgram(mExecutable);
        process.setArguments(arguments);
#else
        process.setProgram(QStringLiteral("setpriv"));
        process.setArguments(QStringList { QStringLiteral("--bounding-set"), QStringLiteral("-sys_time,-net_bind_service"),
                                           QStringLiteral("--"), mExecutable }
                             + arguments);
#endif
        process.start();
        return process.waitForStarted(StartTimeoutMs);
    }

    // The same in a process of its own; null when it could not be started.
    std::unique_ptr<QProcess> start(const QStringList &arguments = {},
                                    const QProcessEnvironment &env = QProcessEnvironment()) const
    {
        auto process = std::make_unique<QProcess>();
        return start(*process, arguments, env) ? std::move(process) : nullptr;
    }

    // What a start that ends by itself (a command to the running copy, say) gave.
    struct Finished {
        bool ended = false; // within the time allowed, by itself
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    Finished run(const QStringList &arguments, int timeoutMs = EndTimeoutMs,
                 const QProcessEnvironment &env = QProcessEnvironment()) const
    {
        Finished result;
        auto process = start(arguments, env);
        if (!process)
            return result;
        result.ended = process->waitForFinished(timeoutMs) && process->exitStatus() == QProcess::NormalExit;
        if (!result.ended) {
            process->kill();
            process->waitForFinished(EndTimeoutMs);
        }
        result.exitCode = process->exitCode();
        result.out = process->readAllStandardOutput();
        result.err = process->readAllStandardError();
#ifdef Q_OS_WIN
        // A Windows program's text output ends its lines with CR LF.
        result.out.replace("\r\n", "\n");
        result.err.replace("\r\n", "\n");
#endif
        return result;
    }

    // Running, holding its one-copy lock and listening on its control socket, i.e. past its
    // start-up: it ends cleanly on a signal from here on.
    bool settled(QProcess &process) const
    {
        const QDeadlineTimer deadline(StartTimeoutMs);
        while (!deadline.hasExpired()) {
            if (process.state() != QProcess::Running)
                return false;
            if (QFile::exists(lockFile()) && !QDir(runtimeFolder()).entryList({ QStringLiteral("*.socket") }, QDir::System).isEmpty())
                return true;
            QTest::qWait(PollMs);
        }
        return false;
    }

    // Adds what the program wrote on standard error since the last call to told, until
    // told contains text or the time is up; true when it does.
    static bool waitForError(QProcess &process, QByteArray &told, const QByteArray &text, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            told += process.readAllStandardError();
            if (told.contains(text))
                return true;
            if (deadline.hasExpired() || process.state() != QProcess::Running)
                return false;
            QTest::qWait(PollMs);
        }
    }

    // Ends it as the system does at shutdown (on Windows, as a closed session does: a
    // request to close sent to its windows); true when it ended cleanly with status 0.
    static bool terminate(QProcess &process)
    {
#ifdef Q_OS_WIN
        process.terminate();
#else
        ::kill(pid_t(process.processId()), SIGTERM);
#endif
        return process.waitForFinished(EndTimeoutMs) && process.exitStatus() == QProcess::NormalExit
               && process.exitCode() == 0;
    }

    // A copy of the program in prefix/bin, laid out as installed, with a clock helper in
    // prefix/libexec/brindlecot that is the given script; the copy's path.
    QString installedCopy(const QTemporaryDir &prefix, const QByteArray &helperScript,
                          QFile::Permissions helperPermissions) const
    {
        const QString program = prefix.filePath(QStringLiteral("bin/brindlecot"));
        if (!prefix.isValid() || !QDir().mkpath(prefix.filePath(QStringLiteral("bin")))
            || !QDir().mkpath(prefix.filePath(QStringLiteral("libexec/brindlecot")))
            || !QFile::copy(mExecutable, program))
            return QString();
        QFile helper(prefix.filePath(QStringLiteral("libexec/brindlecot/brindlecot-clock")));
        if (!helper.open(QIODevice::WriteOnly) || helper.write(helperScript) != helperScript.size())
            return QString();
        helper.close();
        return helper.setPermissions(helperPermissions) ? program : QString();
    }
private:
    QString mExecutable;
    QTemporaryDir mHome;
};

// The program of a test whose functions each start the real executable: a TestProgram made
// anew for every test function, so that none sees another's data file, lock or running copy.
// The test's init() calls renew() and its cleanup() release(); its initTestCase() first gives
// up the privilege to set the clock for good (dropClockPrivilege()).
class ProgramFixture
{
public:
    // A new home; false when it could not be made.
    bool renew()
    {
        mProgram = std::make_unique<TestProgram>();
        return mProgram->isValid();
    }
    // The home removed with all that the function's starts left in it.
    void release() { mProgram.reset(); }

    TestProgram *operator->() const { return mProgram.get(); }
    TestProgram &operator*() const { return *mProgram; }

private:
    std::unique_ptr<TestProgram> mProgram;
};
