#include "NotificationService.h"
#include "PrivateSessionBus.h"
#include "ScriptedTimeServer.h"
#include "TestState.h"
#include "app/frmMain.h"
#include "state/ProgramState.h"
#include "sync/TimeProtocol.h"
#include "ui/frmHosts.h"
#include "TestMain.h"

#include <QDBusConnection>
#include <QTest>

#include <cerrno>

namespace {

const Date Now = DateTime::fromParts(QDate(2004, 1, 6), QTime(13, 41, 17));
constexpr qint32 Bias = 300;     // minutes
constexpr int WaitMs = 5000;     // milliseconds
constexpr int QuietMs = 500;     // milliseconds in which a notification that is not due would come
const QString TooFarOff = QStringLiteral("Time is off by more than 30 minutes - adjust manually");
const QString Refused = QStringLiteral("Error (1) when time received from server"); // EPERM

} // namespace

Q_DECLARE_METATYPE(Presence)

// The Time Protocol's answer `ahead` seconds after Now.
QByteArray answerAhead(qint64 ahead)
{
    return TimeProtocol::encode(*LocalToTimeValue(DateTime::fromSerialSeconds(*DateTime::toSerialSeconds(Now) + ahead), Bias));
}

// A main object on fakes whose one server, on loopback, answers `ahead` seconds ahead of
// the fake clock. Its timers are stopped: the test ticks the tray display by hand.
struct Rig : TestState {
    Rig(Presence presence, qint64 ahead)
        : TestState(Bias, Now)
        , server(ScriptedTimeServer::Reply, answerAhead(ahead))
        , form(state, presence, frmMain::Ports { server.port(), 0, QHostAddress::LocalHost })
    {
        form.tmrIcon.stop();
        form.clockAccess = ClockAccess { true, false, false, QString() }; // no notice about the clock
        form.Form_Load();
        form.tmrClient.stop();
        form.tmrServer.stop();
        state.Hosts.mItems.clear();
        addHost(QStringLiteral("127.0.0.1"));
    }

    // One attempt, ticking the display while it looks for the server and once it has the
    // answer, and twice more for a blink.
    bool attempt(qint16 expectedAlert)
    {
        form.SynchronizeNow();
        form.tmrIcon_Timer(); // "looking for a time server"
        if (!QTest::qWaitFor([&] { return state.TrayAlert == expectedAlert; }, WaitMs))
            return false;
        for (int tick = 0; tick < 3; ++tick)
            form.tmrIcon_Timer();
        return true;
    }

    ScriptedTimeServer server;
    frmMain form;
};

// Without an icon, a change of state to a problem is one desktop notification, whose
// default action opens the Time Servers window; with an icon, or without a desktop, none.
// In process, on the offscreen platform (no notification area), with the test's own
// notification service on a private session bus.
class TestProblemNotice : public QObject
{
    Q_OBJECT

    PrivateSessionBus mBus;
    std::unique_ptr<NotificationService> mService;

    QList<NotificationService::Notification> received() const { return mService->received; }

private slots:
    void initTestCase()
    {
        if (!PrivateSessionBus::available())
            QSKIP("no session bus here (dbus-daemon is not installed)");
        QString why;
        QVERIFY2(mBus.start(&why), qPrintable(why));
        // Before anything in this process asks for the session bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", mBus.address().toUtf8());
        QVERIFY(QDBusConnection::sessionBus().isConnected());
    }

    void init()
    {
        mService = std::make_unique<NotificationService>(mBus.address());
        QString why;
        QVERIFY2(mService->start(&why), qPrintable(why));
    }

    void cleanup() { mService.reset(); }

    void oneNotificationPerChangeToAProblem_data()
    {
        QTest::addColumn<qint64>("ahead");
        QTest::addColumn<int>("clockRefusal");
        QTest::addColumn<qint16>("alert");
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("serviceShowsActions");
        QTest::newRow("server an hour ahead") << qint64(3600) << 0 << qint16(1) << TooFarOff << true;
        QTest::newRow("clock this account may not set") << qint64(60) << EPERM << qint16(2) << Refused << true;
        QTest::newRow("a service without actions") << qint64(3600) << 0 << qint16(1) << TooFarOff << false;
    }

    void oneNotificationPerChangeToAProblem()
    {
        QFETCH(qint64, ahead);
        QFETCH(int, clockRefusal);
        QFETCH(qint16, alert);
        QFETCH(QString, body);
        QFETCH(bool, serviceShowsActions);
        if (!serviceShowsActions)
            mService->capabilities = QStringList { QStringLiteral("body") };
        Rig rig(Presence::DisplayWithoutTray, ahead);
        rig.clock.failWith = clockRefusal;

        rig.form.tmrIcon_Timer(); // looking for a time server: no problem yet
        QVERIFY(rig.attempt(alert));
        QTRY_COMPARE_WITH_TIMEOUT(received().size(), 1, WaitMs);
        const NotificationService::Notification shown = received().at(0);
        QCOMPARE(shown.summary, QStringLiteral("Brindlecot could not synchronize the clock"));
        QCOMPARE(shown.body, body);
        QCOMPARE(shown.actions, serviceShowsActions ? QStringList({ u"default"_qs, u"Open Time Servers"_qs }) : QStringList());
        QVERIFY(!shown.image.isNull());
        QCOMPARE(shown.image.width(), shown.image.height());
        QVERIFY(qAlpha(shown.image.pixel(shown.image.width() / 2, shown.image.height() / 2)) > 0);

        // Retries that fail as before, with the display blinking meanwhile: nothing new.
        for (int retry = 0; retry < 3; ++retry)
            QVERIFY(rig.attempt(alert));
        QTest::qWait(QuietMs);
        QCOMPARE(received().size(), 1);

        // Synchronized, then the same problem again: a change, told once more.
        const Date before = rig.clock.current;
        rig.clock.advance(ahead);
        rig.clock.failWith = 0;
        QVERIFY(rig.attempt(0));
        rig.clock.current = before;
        rig.clock.failWith = clockRefusal;
        QVERIFY(rig.attempt(alert));
        QTRY_COMPARE_WITH_TIMEOUT(received().size(), 2, WaitMs);
        QCOMPARE(received().at(1).body, body);
        QTest::qWait(QuietMs);
        QCOMPARE(received().size(), 2);
    }

    void nothingWhereTheStateShowsAnotherWay_data()
    {
        QTest::addColumn<Presence>("presence");
        QTest::newRow("with an icon") << Presence::Tray;
        QTest::newRow("without a desktop") << Presence::Headless;
    }

    void nothingWhereTheStateShowsAnotherWay()
    {
        QFETCH(Presence, presence);
        Rig rig(presence, 3600);
        QVERIFY(rig.attempt(1));
        QTest::qWait(QuietMs);
        QCOMPARE(received().size(), 0);
    }

    // The default action of the program's notification opens the window, and brings it
    // forward when open; another action, or another notification's, opens nothing.
    void theDefaultActionOpensTheTimeServers()
    {
        Rig rig(Presence::DisplayWithoutTray, 3600);
        QVERIFY(rig.attempt(1));
        QTRY_COMPARE_WITH_TIMEOUT(received().size(), 1, WaitMs);
        const uint id = received().at(0).id;

        QVERIFY(mService->invokeAction(id + 1, QStringLiteral("default")));
        QVERIFY(mService->invokeAction(id, QStringLiteral("other")));
        QTest::qWait(QuietMs);
        QVERIFY(!rig.form.hostsWindow());

        QVERIFY(mService->invokeAction(id, QStringLiteral("default")));
        QTRY_VERIFY_WITH_TIMEOUT(rig.form.hostsWindow(), WaitMs);
        frmHosts *window = rig.form.hostsWindow();
        QVERIFY(window->isVisible());
        QCOMPARE(rig.state.HostsShowing, WindowShowing::Open);

        QVERIFY(mService->invokeAction(id, QStringLiteral("default")));
        QTest::qWait(QuietMs);
        QCOMPARE(rig.form.hostsWindow(), window); // the same window, not a second one
    }
};

BRINDLECOT_TEST_MAIN(TestProblemNotice)
#include "tst_problemnotice.moc"
