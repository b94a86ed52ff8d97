#include "FakeOtherTimeService.h"
#include "TestState.h"
#include "app/TrayDisplay.h"
#include "app/frmMain.h"
#include "state/ProgramState.h"
#include "servers/DataFile.h"
#include "servers/DefaultServers.h"
#include "TestMain.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

// The lines a headless main object tells from its load to its first state, its timers
// stopped so that nothing else comes.
QStringList linesOfTheStart(frmMain &form)
{
    QSignalSpy lines(&form, &frmMain::headlessLine);
    form.Form_Load();
    form.tmrClient.stop();
    form.tmrServer.stop();
    form.tmrIcon_Timer();
    form.tmrIcon_Timer();
    QStringList told;
    for (const QList<QVariant> &line : lines)
        told.append(line.at(0).toString());
    return told;
}

// The main object's load and shutdown, on fakes and loopback ports.
class TestFrmMain : public QObject
{
    Q_OBJECT

    TestState mRig;

    std::unique_ptr<ProgramState> freshState() const { return std::make_unique<ProgramState>(mRig.another()); }

private slots:
    void init()
    {
        mRig.removeDataFile();
    }

    void loadWithoutDataFile()
    {
        auto state = freshState();
        state->AboutShowing = WindowShowing::Open;
        state->TrayAlert = TrayAlert::Synchronized;
        state->pollLimit = 99;
        state->pollTicks = 5;
        frmMain form(*state, Presence::Headless, frmMain::Ports { 1, 0, QHostAddress::LocalHost });
        form.Form_Load();

        QCOMPARE(state->AboutShowing, WindowShowing::Closed);
        QCOMPARE(state->Hosts.count(), 14);
        for (qint32 i = 1; i <= 14; ++i) {
            QCOMPARE(state->Hosts.Item(i)->HostPath(), defaultServerNames().at(i - 1));
            QCOMPARE(state->Hosts.Item(i)->HostActive(), qint16(1));
        }
        QVERIFY(state->Interval.Day && !state->Interval.Hour && !state->Interval.Minute);
        QCOMPARE(state->TrayAlert, TrayAlert::Looking);
        QCOMPARE(state->pollLimit, 10);
        QCOMPARE(state->pollTicks, 0);
        QVERIFY(form.tmrClient.isActive());
        QCOMPARE(form.tmrClient.interval(), 1000);
        QVERIFY(form.tmrServer.isActive());
        QCOMPARE(form.tmrServer.interval(), 10000);
        QCOMPARE(form.localServer().State(), qint16(0)); // it listens from the first server tick on
    }

    void shutdownWithOpenConnectionsClosesThemThenSaves()
    {
        // A server that accepts but never answers keeps the client's connection open.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));

        auto state = freshState();
        frmMain form(*state, Presence::Headless, frmMain::Ports { silent.serverPort(), 0, QHostAddress::LocalHost });
        form.Form_Load();
        state->Hosts.mItems.clear();
        state->Hosts.Add(hostRecord(QStringLiteral("127.0.0.1")));
        state->Interval.applyCode(1);
        state->PauseChecked = false;

        form.tmrServer_Timer(); // listening
        QVERIFY(form.localServer().State() != SocketControl::sckClosed);
        form.SynchronizeNow();  // connecting
        QVERIFY(form.client().tcpClient().State() != SocketControl::sckClosed);
        QVERIFY(silent.waitForNewConnection(5000));
        state->PauseChecked = true; // paused or not, the file is written

        // Both connections are closed, and the file not yet there, when it is written.
        const QString file = dataFilePath(*state);
        QStringList seenAtSave;
        connect(&form, &frmMain::savingDataFile, this, [&] {
            seenAtSave << QStringLiteral("client %1").arg(form.client().tcpClient().State())
                       << QStringLiteral("server %1").arg(form.localServer().State())
                       << QStringLiteral("file %1").arg(QFile::exists(file));
        });
        QSignalSpy unloaded(&form, &frmMain::unloaded);
        form.Shutdown();
        form.Shutdown(); // a second request (say, a signal during Exit) changes nothing
        QCOMPARE(unloaded.count(), 1);
        QCOMPARE(seenAtSave, (QStringList { u"client 0"_qs, u"server 0"_qs, u"file 0"_qs }));
        QVERIFY(!form.tmrClient.isActive());
        QVERIFY(!form.tmrServer.isActive());
        QCOMPARE(form.client().tcpClient().State(), qint16(0));
        QCOMPARE(form.localServer().State(), qint16(0));

        ProgramState saved = mRig.another();
        QVERIFY(DataFileIsValid(dataFilePath(saved)));
        QVERIFY(LoadDataFile(saved));
        QCOMPARE(saved.Hosts.count(), 1);
        QCOMPARE(saved.Hosts.Item(1)->HostPath(), QStringLiteral("127.0.0.1"));
        QVERIFY(saved.Interval.Minute && !saved.Interval.Day);
    }

    void loadReadsAValidDataFile()
    {
        auto written = freshState();
        written->Hosts.Add(hostRecord(QStringLiteral("127.0.0.2"), 0));
        written->Interval.applyCode(2);
        QVERIFY(SaveDataFile(*written));

        auto state = freshState();
        frmMain form(*state, Presence::Headless, frmMain::Ports { 1, 0, QHostAddress::LocalHost });
        form.Form_Load();
        QCOMPARE(state->Hosts.count(), 1);
        QCOMPARE(state->Hosts.Item(1)->HostActive(), qint16(0));
        QVERIFY(state->Interval.Hour && !state->Interval.Day);
    }

    // Without the icon each change of its tool tip is one line; the ticks between, and a
    // blinking state's every second, add none.
    void headlessTellsEachChangeOfStateOnce()
    {
        auto state = freshState();
        frmMain form(*state, Presence::Headless, frmMain::Ports { 1, 0, QHostAddress::LocalHost });
        form.tmrIcon.stop();
        form.clockAccess = ClockAccess { true, false, false, QString() };
        QSignalSpy lines(&form, &frmMain::headlessLine);
        form.Form_Load();
        form.tmrClient.stop();
        form.tmrServer.stop();
        const auto ticks = [&form](int count) {
            for (int i = 0; i < count; ++i)
                form.tmrIcon_Timer();
        };
        ticks(3);
        const QString error = QStringLiteral("Error (1) when time received from server");
        state->TrayAlert = TrayAlert::Failed;
        state->TrayAlertMessage = error;
        ticks(4);
        state->TrayAlert = TrayAlert::Synchronized;
        state->LastSynchDate = DateTime::fromParts(QDate(2026, 3, 7), QTime(17, 34));
        ticks(3);
        state->TrayAlert = TrayAlert::Failed;
        ticks(2);
        form.Shutdown();
        ticks(2);

        QStringList told;
        for (const QList<QVariant> &line : lines)
            told.append(line.at(0).toString());
        QCOMPARE(told, (QStringList { QStringLiteral("Looking for a time server..."), error,
                                      TrayDisplay::synchronizedToolTip(state->LastSynchDate), error }));
    }

    // The notice about the clock comes once at start-up, and only to an account outside
    // the helper's group of an installed program.
    void clockNoticeOnlyForAnAccountOutsideTheGroup_data()
    {
        QTest::addColumn<bool>("privileged");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("runnable");
        QTest::addColumn<bool>("notice");
        QTest::newRow("outside the group") << false << true << false << true;
        QTest::newRow("a member") << false << true << true << false;
        QTest::newRow("build tree, no helper") << false << false << false << false;
        QTest::newRow("root or the service") << true << true << false << false;
        QTest::newRow("privileged member") << true << true << true << false;
    }

    void clockNoticeOnlyForAnAccountOutsideTheGroup()
    {
        QFETCH(bool, privileged);
        QFETCH(bool, installed);
        QFETCH(bool, runnable);
        QFETCH(bool, notice);
        auto state = freshState();
        frmMain form(*state, Presence::Headless, frmMain::Ports { 1, 0, QHostAddress::LocalHost });
        form.tmrIcon.stop();
        form.clockAccess = ClockAccess { privileged, installed, runnable, QStringLiteral("alice") };
        const QStringList told = linesOfTheStart(form);

        QStringList expected { QStringLiteral("Looking for a time server...") };
        if (notice)
            expected.prepend(QStringLiteral("This account may not set the computer's clock. An administrator allows "
                                            "it with \"sudo adduser alice brindlecot\"; then log in again."));
        QCOMPARE(told, expected);
    }

    // Another time service is told once among the state lines, before the first state, and
    // named in --status, which asks anew; where none runs, neither says anything.
    void anotherTimeServiceIsToldOnce_data()
    {
        QTest::addColumn<QString>("other");
        QTest::newRow("chronyd") << QStringLiteral("chronyd");
        QTest::newRow("none") << QString();
    }

    void anotherTimeServiceIsToldOnce()
    {
        QFETCH(QString, other);
        auto state = freshState();
        frmMain form(*state, Presence::Headless, frmMain::Ports { 1, 0, QHostAddress::LocalHost });
        form.tmrIcon.stop();
        form.clockAccess = ClockAccess { true, false, false, QString() };
        auto *service = new FakeOtherTimeService(other);
        form.otherTimeService.reset(service);
        const QStringList told = linesOfTheStart(form);

        QStringList expected { QStringLiteral("Looking for a time server...") };
        if (!other.isEmpty())
            expected.prepend(QStringLiteral("Another time service, chronyd, also sets this computer's clock; Brindlecot "
                                            "synchronizes it all the same."));
        QCOMPARE(told, expected);
        const QString status = form.Command(Control::Command::Status).text;
        QCOMPARE(status.contains(QStringLiteral("\nOther time service: chronyd also sets this clock\n")), !other.isEmpty());
        QCOMPARE(service->asked, 2);
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
