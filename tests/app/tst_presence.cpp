#include "ClockPrivilege.h"
#include "NotificationService.h"
#include "PortThirtySevenServer.h"
#include "PrivateSessionBus.h"
#include "TestProgram.h"
#include "TrayDesktop.h"
#include "TestMain.h"

#include <QTest>

namespace {

constexpr int PresenceLineWaitMs = 5000; // milliseconds
constexpr int NoticeWaitMs = 6000;       // milliseconds: the clock notice comes about 2 s in
constexpr int NoTrayWaitMs = 15000;      // milliseconds: the notice of a desktop without a tray, 10 s in
const QByteArray Headless = "Brindlecot is running without a display: it has no window to show.\n";

} // namespace

// Where the real program shows itself: the same decision for every kind of display.
class TestPresence : public QObject
{
    Q_OBJECT

    ProgramFixture mProgram;

private slots:
    void initTestCase() { QVERIFY2(dropClockPrivilege(), "cannot give up the privilege to set the clock"); }

    void init()
    {
        QVERIFY(mProgram.renew());
        QVERIFY(mProgram->writeDataFile({ LoopbackAddress::Unanswered }));
    }

    void cleanup() { mProgram.release(); }

    // A display that cannot be reached, and Qt's invisible platform, count as no display:
    // the state in lines, and no window for a later start. A display server that is not there
    // is found out before Qt tries it: standard error holds the state lines and nothing that
    // reads like a failure.
    void displaysNobodySeesAreHeadless_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<QString>("platform");
        // Nothing listens on display 97 here, nor on its TCP port 6097.
        QTest::newRow("unreachable X display") << QStringLiteral(":97") << QString() << QString();
        QTest::newRow("unreachable X display over TCP") << QStringLiteral("127.0.0.1:97") << QString() << QString();
        QTest::newRow("unreachable Wayland and X") << QStringLiteral(":97.0") << QStringLiteral("wayland-97") << QString();
        QTest::newRow("unreachable Wayland at a path") << QString() << QStringLiteral("/nonexistent/wayland-97") << QString();
        QTest::newRow("offscreen platform") << QStringLiteral(":97") << QString() << QStringLiteral("offscreen");
    }

    void displaysNobodySeesAreHeadless()
    {
        QFETCH(QString, display);
        QFETCH(QString, wayland);
        QFETCH(QString, platform);
        QProcessEnvironment env = mProgram->environment(display);
        if (!wayland.isEmpty())
            env.insert(QStringLiteral("WAYLAND_DISPLAY"), wayland);
        if (!platform.isEmpty())
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        auto copy = mProgram->start({}, env);
        QVERIFY(copy && mProgram->settled(*copy));
        QByteArray told;
        QVERIFY(TestProgram::waitForError(*copy, told, "Looking for a time server...\n", PresenceLineWaitMs));
        const TestProgram::Finished second = mProgram->run({}, TestProgram::EndTimeoutMs, env);
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(second.err, Headless);
        QVERIFY(TestProgram::terminate(*copy));
        told += copy->readAllStandardError();
        QCOMPARE(told, QByteArray("Looking for a time server...\n"));
    }

    // A display without a notification area: the state in lines, and both notices (the
    // clock's, for an account outside the clock group, and where the program is) through the
    // desktop's notification service, with the clock face.
    void withoutATrayTheDesktopsNotificationsTell()
    {
        TrayDesktop desktop;
        PrivateSessionBus bus;
        if (!desktop.startForTest(TrayDesktop::tools()) || !bus.startForTest())
            return;
        QString why;
        NotificationService notifications(bus.address());
        QVERIFY2(notifications.start(&why), qPrintable(why));

        // Installed, with a clock helper this account may not run.
        QTemporaryDir prefix;
        const QString installed = mProgram->installedCopy(prefix, QByteArray(), QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(!installed.isEmpty());
        const QProcessEnvironment env = bus.environment(mProgram->environment(desktop.display()));
        auto copy = TestProgram(installed).start({}, env);
        QVERIFY(copy && mProgram->settled(*copy));

        QByteArray told;
        QVERIFY(TestProgram::waitForError(*copy, told, "Looking for a time server...\n", PresenceLineWaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(notifications.received.size(), 1, NoticeWaitMs);
        QCOMPARE(notifications.received.at(0).summary, QStringLiteral("Brindlecot cannot set the clock"));
        QVERIFY(notifications.received.at(0).body.startsWith(QStringLiteral("This account may not set the computer's clock.")));
        QTRY_COMPARE_WITH_TIMEOUT(notifications.received.size(), 2, NoTrayWaitMs);
        const NotificationService::Notification &where = notifications.received.at(1);
        QCOMPARE(where.application, QStringLiteral("Brindlecot"));
        QCOMPARE(where.body, QStringLiteral("Brindlecot is keeping the clock right in the background. Open Brindlecot "
                                            "from the applications menu to see its time servers."));
        for (const NotificationService::Notification &shown : notifications.received) {
            QCOMPARE(shown.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("brindlecot"));
            // The clock face: square, and with both clear corners and a drawn middle.
            QVERIFY(!shown.image.isNull());
            QCOMPARE(shown.image.width(), shown.image.height());
            QCOMPARE(qAlpha(shown.image.pixel(0, 0)), 0);
            QVERIFY(qAlpha(shown.image.pixel(shown.image.width() / 2, shown.image.height() / 2)) > 0);
        }
        shownForAPerson(notifications.received);

        QTest::qWait(1000);
        QCOMPARE(notifications.received.size(), 2); // once each
        QVERIFY(TestProgram::terminate(*copy));
        told += copy->readAllStandardError();
        // The notices went to the desktop, not to standard error.
        QCOMPARE(told, QByteArray("Looking for a time server...\n"));
    }

private:
    // The notifications as a person would see them, left in the test's folder.
    static void shownForAPerson(const QList<NotificationService::Notification> &shown)
    {
        QFile text(QStringLiteral("notifications.txt"));
        if (!text.open(QIODevice::WriteOnly))
            return;
        for (int i = 0; i < shown.size(); ++i) {
            text.write((shown.at(i).summary + QStringLiteral("\n") + shown.at(i).body + QStringLiteral("\n\n")).toUtf8());
            shown.at(i).image.save(QStringLiteral("notification-%1.png").arg(i + 1));
        }
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestPresence)
#include "tst_presence.moc"
