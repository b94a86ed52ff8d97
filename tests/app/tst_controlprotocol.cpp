#include "app/ControlProtocol.h"
#include "app/Presence.h"

#include <QTest>

// What later starts say to the running copy, and where the program shows itself.
class TestControlProtocol : public QObject
{
    Q_OBJECT

private slots:
    void requests_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("command"); // -1: refused
        QTest::newRow("show") << QByteArray("show\n") << int(Control::Command::Show);
        QTest::newRow("sync-now") << QByteArray("sync-now\n") << int(Control::Command::SyncNow);
        QTest::newRow("quit") << QByteArray("quit\n") << int(Control::Command::Quit);
        QTest::newRow("status") << QByteArray("status\n") << int(Control::Command::Status);
        QTest::newRow("without its newline") << QByteArray("quit") << -1;
        QTest::newRow("carriage return") << QByteArray("quit\r\n") << -1;
        QTest::newRow("another case") << QByteArray("Quit\n") << -1;
        QTest::newRow("spaces") << QByteArray(" quit\n") << -1;
        QTest::newRow("two requests") << QByteArray("show\nquit\n") << -1;
        QTest::newRow("a NUL inside") << QByteArray("show\0\n", 6) << -1;
        QTest::newRow("unknown") << QByteArray("reboot\n") << -1;
        QTest::newRow("empty line") << QByteArray("\n") << -1;
    }

    void requests()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, command);
        const std::optional<Control::Command> parsed = Control::parseRequest(line);
        QCOMPARE(parsed ? int(*parsed) : -1, command);
        if (parsed) {
            QCOMPARE(Control::requestLine(*parsed), line);
            QVERIFY(line.size() <= Control::MaxRequestBytes);
        }
    }

    void answers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status"); // -1: not an answer
        QTest::addColumn<QString>("text");
        QTest::newRow("done, nothing to say") << QByteArray("0\n") << 0 << QString();
        QTest::newRow("refused with a line") << QByteArray("1\nSynchronization is paused.\n") << 1
                                             << QStringLiteral("Synchronization is paused.\n");
        QTest::newRow("UTF-8 text") << QByteArray("0\nZ\xc3\xbcrich\n") << 0 << QStringLiteral("Zürich\n");
        QTest::newRow("nothing") << QByteArray() << -1 << QString();
        QTest::newRow("no newline") << QByteArray("0") << -1 << QString();
        QTest::newRow("not a number") << QByteArray("x\n") << -1 << QString();
        QTest::newRow("negative") << QByteArray("-1\n") << -1 << QString();
        QTest::newRow("beyond an exit status") << QByteArray("256\n") << -1 << QString();
    }

    void answers()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        QFETCH(QString, text);
        const std::optional<Control::Answer> answer = Control::decodeAnswer(bytes);
        QCOMPARE(answer ? answer->status : -1, status);
        if (answer) {
            QCOMPARE(answer->text, text);
            QCOMPARE(Control::encodeAnswer(*answer), bytes);
        }
    }

    void statusTellsEveryFact()
    {
        Control::Facts facts;
        facts.toolTip = QStringLiteral("Synchronized on 12/10/26 at 02:05 PM");
        facts.lastSynchronized = QStringLiteral("2026-12-10 14:05:09");
        facts.interval = QStringLiteral("hour");
        facts.paused = true;
        facts.activeServers = 2;
        facts.servers = 3;
        facts.serving = true;
        QCOMPARE(Control::statusText(facts), QStringLiteral("State: Synchronized on 12/10/26 at 02:05 PM\n"
                                                            "Last synchronized: 2026-12-10 14:05:09\n"
                                                            "Interval: hour\n"
                                                            "Paused: yes\n"
                                                            "Active servers: 2 of 3\n"
                                                            "Serving port 37: yes\n"));
        facts.lastSynchronized.clear();
        facts.paused = facts.serving = false;
        const QString never = Control::statusText(facts);
        QVERIFY(never.contains(QStringLiteral("\nLast synchronized: never\n")));
        QVERIFY(never.contains(QStringLiteral("\nPaused: no\n")));
        QVERIFY(never.endsWith(QStringLiteral("\nServing port 37: no\n")));
    }

    void presence_data()
    {
        QTest::addColumn<bool>("graphical");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<bool>("tray");
        QTest::addColumn<Presence>("presence");
        QTest::newRow("no display") << false << QString() << false << Presence::Headless;
        QTest::newRow("unreachable display: offscreen") << true << "offscreen" << false << Presence::Headless;
        QTest::newRow("offscreen claims a tray") << true << "offscreen" << true << Presence::Headless;
        QTest::newRow("minimal") << true << "minimal" << false << Presence::Headless;
        QTest::newRow("X11 with a tray") << true << "xcb" << true << Presence::Tray;
        QTest::newRow("X11 without a tray") << true << "xcb" << false << Presence::DisplayWithoutTray;
        QTest::newRow("Wayland without a tray") << true << "wayland" << false << Presence::DisplayWithoutTray;
    }

    void presence()
    {
        QFETCH(bool, graphical);
        QFETCH(QString, platform);
        QFETCH(bool, tray);
        QFETCH(Presence, presence);
        QCOMPARE(decidePresence(graphical, platform, tray), presence);
    }
};

QTEST_GUILESS_MAIN(TestControlProtocol)
#include "tst_controlprotocol.moc"
