// What the program costs while nothing happens: its own CPU time over minutes of steady
// state 0 (synchronized) with the icon shown in a real notification area, and its resident
// memory beside that of a minimal Qt program showing one tray icon with a menu, measured
// in the same run. A second copy of the minimal program wakes once a second and does
// nothing: its CPU time is what the one-second wake-up alone costs on this machine.
//
// The program synchronizes with its own local time server on 127.0.0.1, so it must be
// allowed to listen on port 37 (root, or CAP_NET_BIND_SERVICE); it runs without the clock
// privilege, and its data file lists only 127.0.0.1.
#include "StopProcess.h"
#include "TestProgram.h"
#include "TrayDesktop.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <unistd.h>

namespace {

constexpr double CpuPerHourTarget = 0.5;   // seconds of CPU per hour with the icon shown
constexpr double MemoryRatioTarget = 1.15; // resident memory beside the minimal tray program
constexpr int EndGraceMs = 5000;           // milliseconds to end; the program writes its data file

struct Usage {
    double cpuSeconds = -1; // user + system, seconds
    qint64 residentKiB = -1;
};

Usage usageOf(qint64 pid)
{
    Usage usage;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        // Fields after the command's closing parenthesis; utime and stime are 14 and 15.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 13) {
            const double ticks = double(sysconf(_SC_CLK_TCK));
            usage.cpuSeconds = (fields.at(11).toDouble() + fields.at(12).toDouble()) / ticks;
        }
    }
    // The scheduler's own account, in nanoseconds, is finer than the clock ticks of stat.
    QFile schedstat(QStringLiteral("/proc/%1/schedstat").arg(pid));
    if (schedstat.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const double nanoseconds = schedstat.readAll().split(' ').first().toDouble(&ok);
        if (ok)
            usage.cpuSeconds = nanoseconds / 1e9;
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                usage.residentKiB = line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    return usage;
}

bool startUnderDesktop(QProcess &process, const QProcessEnvironment &env, const QStringList &command)
{
    process.setProcessEnvironment(env);
    process.start(command.first(), command.mid(1));
    return process.waitForStarted(5000);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("CPU time and resident memory of the idle program with its tray icon"));
    parser.addHelpOption();
    QCommandLineOption minutes(QStringLiteral("minutes"), QStringLiteral("Length of the measured steady state (10)."),
                               QStringLiteral("minutes"), QStringLiteral("10"));
    QCommandLineOption settle(QStringLiteral("settle"), QStringLiteral("Seconds from the start to the first measure (25)."),
                              QStringLiteral("seconds"), QStringLiteral("25"));
    parser.addOptions({ minutes, settle });
    parser.process(app);
    const double window = parser.value(minutes).toDouble() * 60; // seconds
    const int settleSeconds = parser.value(settle).toInt();      // seconds
    QTextStream out(stdout);
    if (window <= 0 || settleSeconds < 15) {
        out << "trayidle: --minutes must be positive and --settle at least 15 (the first attempt comes 11 s in)\n";
        return 2;
    }

    const QStringList missing = TrayDesktop::missingTools();
    if (!missing.isEmpty()) {
        out << "trayidle: missing " << missing.join(QLatin1Char(' ')) << " (scripts/deps test installs them)\n";
        return 2;
    }
    TrayDesktop desktop;
    QString why;
    if (!desktop.startDisplay(&why) || !desktop.startTray(&why)) {
        out << "trayidle: " << why << '\n';
        return 2;
    }

    // A day: one attempt, then quiet.
    const TestProgram home;
    if (!home.isValid() || !home.writeDataFile({ QStringLiteral("127.0.0.1") }, 3)) {
        out << "trayidle: cannot write the data file\n";
        return 2;
    }
    const QProcessEnvironment env = home.environment(desktop.display());

    const QString binaries = QCoreApplication::applicationDirPath();
    QProcess program;
    QProcess minimal;
    QProcess ticking;
    // Unlike the tests, it keeps the privilege to listen on port 37, as an installed copy
    // of a member of the clock group does; never the one to set the clock.
    if (!startUnderDesktop(program, env,
                           { QStringLiteral("setpriv"), QStringLiteral("--bounding-set"), QStringLiteral("-sys_time"),
                             QStringLiteral("--"), home.executable() })
        || !startUnderDesktop(minimal, env, { binaries + QStringLiteral("/bench_minimaltray") })
        || !startUnderDesktop(ticking, env, { binaries + QStringLiteral("/bench_minimaltray"), QStringLiteral("--tick") })) {
        out << "trayidle: cannot start the programs\n";
        stopProcess(program, EndGraceMs);
        stopProcess(minimal, EndGraceMs);
        stopProcess(ticking, EndGraceMs);
        return 2;
    }

    out << "display " << desktop.display() << "; settling for " << settleSeconds << " s\n";
    out.flush();
    QThread::sleep(settleSeconds);
    const QDateTime measureFrom = QDateTime::currentDateTime();
    const Usage programBefore = usageOf(program.processId());
    const Usage minimalBefore = usageOf(minimal.processId());
    const Usage tickingBefore = usageOf(ticking.processId());
    const int icons = desktop.windows(QStringLiteral("brindlecot")).size();
    const int minimalIcons = desktop.windows(QStringLiteral("bench_minimaltray")).size();
    out << "icons shown: program " << icons << ", minimal programs " << minimalIcons << "; measuring "
        << window / 60 << " min\n";
    out.flush();
    QThread::msleep(qint64(window * 1000));
    const Usage programAfter = usageOf(program.processId());
    const Usage minimalAfter = usageOf(minimal.processId());
    const Usage tickingAfter = usageOf(ticking.processId());
    const bool allRan = program.state() == QProcess::Running && minimal.state() == QProcess::Running
                         && ticking.state() == QProcess::Running;
    stopProcess(program, EndGraceMs);
    stopProcess(minimal, EndGraceMs);
    stopProcess(ticking, EndGraceMs);

    // The program's own record of its one attempt: a success before the measure began
    // means it was in state 0 all along (the next attempt is a day away).
    const TestProgram::Saved saved = home.readDataFile();
    const auto host = saved.Hosts.count() == 1 ? saved.Hosts.Item(1) : nullptr;
    const QDate measureDay = measureFrom.date();
    const Date measureStart = DateTime::fromParts(measureDay, measureFrom.time());
    const bool synchronized = host && host->HostStatus() == HostStatus::Succeeded && host->HostPollDate() != 0
                              && host->HostPollDate() <= measureStart;

    const double programCpu = programAfter.cpuSeconds - programBefore.cpuSeconds;
    const double minimalCpu = minimalAfter.cpuSeconds - minimalBefore.cpuSeconds;
    const double tickingCpu = tickingAfter.cpuSeconds - tickingBefore.cpuSeconds;
    const double perHour = programCpu * 3600 / window;
    const double ratio = double(programAfter.residentKiB) / double(minimalAfter.residentKiB);
    out << Qt::fixed;
    out.setRealNumberPrecision(3);
    out << "\n| program | CPU over " << window / 60 << " min | CPU per hour | resident memory |\n"
        << "|---|---|---|---|\n"
        << "| brindlecot | " << programCpu << " s | " << perHour << " s | " << programAfter.residentKiB << " KiB |\n"
        << "| minimal tray program | " << minimalCpu << " s | " << minimalCpu * 3600 / window << " s | "
        << minimalAfter.residentKiB << " KiB |\n"
        << "| minimal tray program waking every second | " << tickingCpu << " s | " << tickingCpu * 3600 / window
        << " s | " << tickingAfter.residentKiB << " KiB |\n\n"
        << "resident memory ratio " << ratio << " (target at most " << MemoryRatioTarget << "); CPU per hour "
        << perHour << " s (target at most " << CpuPerHourTarget << " s)\n";
    if (!allRan || icons != 1 || !synchronized) {
        out << "trayidle: INVALID RUN:" << (allRan ? "" : " a program ended early;")
            << (icons == 1 ? "" : " the program's icon was not shown;")
            << (synchronized ? "" : " the program was not synchronized (state 0) before the measure "
                                    "(it needs to listen on port 37: run as root)")
            << '\n';
        return 1;
    }
    return perHour <= CpuPerHourTarget && ratio <= MemoryRatioTarget ? 0 : 1;
}
