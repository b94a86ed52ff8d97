#include "ClockPrivilege.h"
#include "PortThirtySevenServer.h"
#include "TestProgram.h"
#include "TestState.h"
#include "platform/SystemClock.h"
#include "platform/TimeZoneBias.h"
#include "servers/DataFile.h"
#include "sync/AutoClient.h"
#include "sync/TimeProtocol.h"
#include "TestMain.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// The real executable, headless, in the kit's temporary home. Neither this test nor
// anything it starts may set the machine's clock: it gives up the privilege for good
// before it starts, and the kit starts the program under setpriv without it.
class TestExecutable : public QObject
{
    Q_OBJECT

    ProgramFixture mProgram;

    QString dataFile() const { return mProgram->dataFile(); }

    // A data file listing the given loopback servers, all active.
    void writeDataFile(const QStringList &servers, qint16 version = DataFile::Version)
    {
        QVERIFY(mProgram->writeDataFile(servers, 3, version));
    }

    // Headless unless display names an X display to try.
    std::unique_ptr<QProcess> start(const QString &display = QString(), const QString &program = QString())
    {
        if (!program.isEmpty())
            return TestProgram(program).start({}, withHome(display));
        return mProgram->start({}, mProgram->environment(display));
    }

    // The environment of this test's home, for a copy of the program elsewhere.
    QProcessEnvironment withHome(const QString &display) const { return mProgram->environment(display); }

    bool settled(QProcess &process) const { return mProgram->settled(process); }
    static bool terminate(QProcess &process) { return TestProgram::terminate(process); }

    TestProgram::Saved loadDataFile() const { return mProgram->readDataFile(); }

private slots:
    void initTestCase() { QVERIFY2(dropClockPrivilege(), "cannot give up the privilege to set the clock"); }

    void init() { QVERIFY(mProgram.renew()); }

    void cleanup() { mProgram.release(); }

    void firstRunSavesTheBuiltInServersOnTerminate()
    {
        // Ended long before its first attempt, 11 seconds in, so nothing goes out.
        auto process = start();
        QVERIFY(process);
        QVERIFY(settled(*process));
        QVERIFY(!QFile::exists(dataFile()));
        QVERIFY(terminate(*process));

        const TestProgram::Saved saved = loadDataFile();
        QCOMPARE(saved.Hosts.count(), 14);
        QVERIFY(saved.Interval.Day && !saved.Interval.Hour && !saved.Interval.Minute);
    }

    void unreachableDisplayLeavesItRunningHeadless()
    {
        writeDataFile({ QStringLiteral("127.0.0.1") });
        auto process = start(QStringLiteral(":97")); // no X server there
        QVERIFY(process);
        QVERIFY(settled(*process));
        QTest::qWait(300);
        QCOMPARE(process->state(), QProcess::Running);
        QVERIFY(terminate(*process));
        QCOMPARE(loadDataFile().Hosts.count(), 1);
    }

    // A copy of the program laid out as installed, with a clock helper beside it that this
    // account may not run: one line says so at start-up, before the first state.
    void anAccountOutsideTheClockGroupIsToldOnce()
    {
        QTemporaryDir prefix;
        // No execute bit for anyone, so root is refused as well.
        const QString program = mProgram->installedCopy(prefix, QByteArray(), QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(!program.isEmpty());
        writeDataFile({ QStringLiteral("127.0.0.1") });

        auto process = start(QString(), program);
        QVERIFY(process);
        QByteArray told;
        QTRY_VERIFY_WITH_TIMEOUT((told += process->readAllStandardError()).contains("Looking"), 5000);
        QVERIFY(terminate(*process));
        const QList<QByteArray> lines = told.split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].startsWith("This account may not set the computer's clock.")
                     && lines[0].contains("\"sudo adduser ") && lines[0].contains(" brindlecot\"; then log in again."),
                 lines[0].constData());
        QCOMPARE(lines[1], QByteArray("Looking for a time server..."));
    }

    void secondCopyEndsAtOnceAndTouchesNothingButSaysSo()
    {
        writeDataFile({ QStringLiteral("127.0.0.1") }, 6);
        QFile file(dataFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        auto first = start();
        QVERIFY(first);
        QVERIFY(settled(*first));

        auto second = start();
        QVERIFY(second);
        QVERIFY(second->waitForFinished(3000));
        // Headless, the running copy has no window to open for it, and the second start
        // says so in one line.
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(second->readAllStandardOutput(), QByteArray());
        QCOMPARE(second->readAllStandardError(),
                 QByteArray("Brindlecot is running without a display: it has no window to show.\n"));
        QCOMPARE(first->state(), QProcess::Running);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        file.close();

        // The first copy rewrites the older file in the current version when it ends.
        QVERIFY(terminate(*first));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(2), QByteArray::fromHex("0700"));
        const TestProgram::Saved saved = loadDataFile();
        QCOMPARE(saved.Hosts.count(), 1);
        QCOMPARE(saved.Hosts.Item(1)->HostPath(), QStringLiteral("127.0.0.1"));
    }

    void synchronizesWithALoopbackServer()
    {
        // The program asks port 37, so this needs the privilege to listen there.
        PortThirtySevenServer timeServer(0);
        if (!timeServer.listenOn(LoopbackAddress::Program))
            QSKIP("cannot listen on 127.0.0.1:37 here (needs root or CAP_NET_BIND_SERVICE)");
        // The machine's own time: the program finds its clock right and leaves it alone.
        writeDataFile({ QStringLiteral("127.0.0.1") });

        auto process = start();
        QVERIFY(process);
        QTRY_VERIFY_WITH_TIMEOUT(!timeServer.answers.isEmpty(), 20000); // the first attempt comes 11 s in
        // Headless, each state is told on standard error once, as the icon's tool tip.
        QByteArray told;
        QTRY_VERIFY_WITH_TIMEOUT((told += process->readAllStandardError()).contains("Synchronized on "), 3000);
        QTest::qWait(2500); // a few more ticks of the tray display, which add nothing
        QVERIFY(terminate(*process));
        told += process->readAllStandardError();
        const QList<QByteArray> lines = told.split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QByteArray("Looking for a time server..."));
        QVERIFY2(lines[1].startsWith("Synchronized on "), lines[1].constData());
        QCOMPARE(lines[2], QByteArray());

        const TestProgram::Saved saved = loadDataFile();
        QCOMPARE(saved.Hosts.count(), 1);
        const auto host = saved.Hosts.Item(1);
        QCOMPARE(host->HostStatus(), HostStatus::Succeeded);
        QVERIFY(host->HostSynchError() <= 1);
        const QDateTime now = QDateTime::currentDateTime();
        const Date today = DateTime::fromParts(now.date(), now.time());
        QVERIFY(qAbs(host->HostPollDate() - today) * 86400 < 60);
    }

    void aClockItMayNotSetIsAnErrorAndTriedAgain()
    {
        PortThirtySevenServer timeServer(100);
        if (!timeServer.listenOn(LoopbackAddress::Refusing))
            QSKIP("cannot listen on port 37 here (needs root or CAP_NET_BIND_SERVICE)");
        writeDataFile({ LoopbackAddress::Refusing.toString() });
        // Installed, the program asks its clock helper, which here records what it was
        // asked and refuses as the system would.
        QTemporaryDir prefix;
        const QString requests = prefix.filePath(QStringLiteral("requests"));
        const QString program
            = mProgram->installedCopy(prefix, "#!/bin/sh\necho \"$@\" >> '" + QFile::encodeName(requests) + "'\nexit 1\n",
                            QFile::ReadOwner | QFile::ExeOwner);
        QVERIFY(!program.isEmpty());

        const qint64 before = QDateTime::currentSecsSinceEpoch();
        auto process = start(QString(), program);
        QVERIFY(process);
        // Refused, it tries again on the 11th tick after the failed attempt started.
        QTRY_VERIFY_WITH_TIMEOUT(timeServer.answers.size() >= 2, 30000);
        const qint64 apart = timeServer.answers.at(1) - timeServer.answers.at(0); // ms
        QVERIFY2(apart > 9000 && apart < 14000, QByteArray::number(apart));
        QTest::qWait(500);
        QVERIFY(terminate(*process));
        const QByteArray told = process->readAllStandardError();
        QVERIFY2(told.contains("\nError (1) when time received from server\n"), told.constData());

        // One request an attempt: the new local date with the time of day to the
        // millisecond, and the bias.
        QFile asked(requests);
        QVERIFY(asked.open(QIODevice::ReadOnly));
        // The requests to listen on port 37, which the program may not, are not counted.
        QList<QByteArray> lines = asked.readAll().split('\n');
        lines.removeAll("listen");
        QVERIFY2(lines.size() >= 3, QByteArray::number(lines.size()));
        const QRegularExpression request(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} -?\\d{1,4}$"));
        for (const QByteArray &line : lines.mid(0, 2))
            QVERIFY2(request.match(QString::fromLatin1(line)).hasMatch(), line.constData());

        // Nothing counted as a success, and the clock was not moved by 100 s.
        const TestProgram::Saved saved = loadDataFile();
        QCOMPARE(saved.Hosts.count(), 1);
        QCOMPARE(saved.Hosts.Item(1)->HostStatus(), HostStatus::Untried);
        QCOMPARE(saved.Hosts.Item(1)->HostPollDate(), DateTime::Never);
        const qint64 elapsed = QDateTime::currentSecsSinceEpoch() - before;
        QVERIFY2(elapsed >= 0 && elapsed < 60, QByteArray::number(elapsed));
    }

    void theRealClockRefusesWithoutThePrivilege()
    {
        // The program's client with the real clock and zone, in this process, which holds
        // no privilege to set the clock: the refusal is the error state with its number.
        PortThirtySevenServer timeServer(100);
        QVERIFY(timeServer.listen(QHostAddress::LocalHost, 0));
        const auto clock = createSystemClock();
        const auto zone = createTimeZoneBias();
        TestState rig(*clock, *zone);
        ProgramState &state = rig.state;
        const auto host = rig.addHost(QStringLiteral("127.0.0.1"));
        AutoClient client(state, timeServer.serverPort());

        const qint64 before = QDateTime::currentSecsSinceEpoch();
        client.SynchronizeNow();
        QTRY_COMPARE_WITH_TIMEOUT(state.TrayAlert, TrayAlert::Failed, 5000);
        QCOMPARE(state.TrayAlertMessage, QStringLiteral("Error (1) when time received from server"));
        QCOMPARE(state.pollLimit, AutoClient::AttemptLimit);
        QCOMPARE(host->HostStatus(), HostStatus::Untried);
        const qint64 elapsed = QDateTime::currentSecsSinceEpoch() - before;
        QVERIFY2(elapsed >= 0 && elapsed < 30, QByteArray::number(elapsed));
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestExecutable)
#include "tst_program.moc"
