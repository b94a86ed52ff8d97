#include "app/ControlProtocol.h"
#include "app/Presence.h"

#include <QTest>

Q_DECLARE_METATYPE(Control::Request)

// What later starts say to the running copy, and where the program shows itself.
class TestControlProtocol : public QObject
{
    Q_OBJECT

private slots:
    void requests_data()
    {
        const QByteArray longest(Control::MaxTokenBytes, 'x');
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<Control::Request>("request");
        const auto row = [](const char *name, const QByteArray &line, const Control::Request &request) {
            QTest::newRow(name) << line << true << request;
        };
        const auto bad = [](const char *name, const QByteArray &line) {
            QTest::newRow(name) << line << false << Control::Request();
        };
        row("show", "show\n", Control::Command::Show);
        row("sync-now", "sync-now\n", Control::Command::SyncNow);
        row("quit", "quit\n", Control::Command::Quit);
        row("status", "status\n", Control::Command::Status);
        row("pause", "pause\n", Control::Command::Pause);
        row("resume", "resume\n", Control::Command::Resume);
        row("interval minute", "interval minute\n", Control::Request(Control::Command::Interval, {}, 1));
        row("interval hour", "interval hour\n", Control::Request(Control::Command::Interval, {}, 2));
        row("interval day", "interval day\n", Control::Request(Control::Command::Interval, {}, 3));
        // A Wayland token (a UUID-like word) and an X11 start-up ID carry over unchanged.
        row("show with a Wayland token", "show 7f4c1b9e-0a2d-4e31-9b8e-1c2d3e4f5a6b\n",
            Control::Request(Control::Command::Show, "7f4c1b9e-0a2d-4e31-9b8e-1c2d3e4f5a6b"));
        row("show with an X11 start-up ID", "show kwin-1234-host-_TIME5678\n",
            Control::Request(Control::Command::Show, "kwin-1234-host-_TIME5678"));
        row("the longest token", "show " + longest + '\n', Control::Request(Control::Command::Show, longest));
        bad("a token too long", "show " + longest + "x\n");
        bad("an empty token", "show \n");
        bad("a token with a space", "show ab cd\n");
        bad("a token with a tab", "show ab\tcd\n");
        bad("a token with an escape", "show ab\x1b[2Jcd\n");
        bad("a token beyond ASCII", "show ab\xc3\xbc\n");
        bad("a token with DEL", "show ab\x7f\n");
        bad("a token on another command", "quit abc\n");
        bad("interval without a word", "interval\n");
        bad("interval in another case", "interval Hour\n");
        bad("interval unknown", "interval week\n");
        bad("interval as a number", "interval 2\n");
        bad("without its newline", "quit");
        bad("carriage return", "quit\r\n");
        bad("another case", "Quit\n");
        bad("spaces", " quit\n");
        bad("two requests", "show\nquit\n");
        bad("a NUL inside", QByteArray("show\0\n", 6));
        bad("unknown", "reboot\n");
        bad("empty line", "\n");
    }

    void requests()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, valid);
        QFETCH(Control::Request, request);
        const std::optional<Control::Request> parsed = Control::parseRequest(line);
        QCOMPARE(parsed.has_value(), valid);
        if (parsed) {
            QCOMPARE(parsed->command, request.command);
            QCOMPARE(parsed->token, request.token);
            QCOMPARE(parsed->interval, request.interval);
            QCOMPARE(Control::requestLine(*parsed), line);
            QVERIFY(line.size() <= Control::MaxRequestBytes);
        }
    }

    // A request that cannot be carried is not sent at all.
    void unsendableRequests()
    {
        QCOMPARE(Control::requestLine(Control::Request(Control::Command::Show, "ab cd")), QByteArray());
        QCOMPARE(Control::requestLine(Control::Request(Control::Command::Show, QByteArray(Control::MaxTokenBytes + 1, 'x'))),
                 QByteArray());
        QCOMPARE(Control::requestLine(Control::Request(Control::Command::Interval, {}, 0)), QByteArray());
        QCOMPARE(Control::requestLine(Control::Request(Control::Command::Interval, {}, 4)), QByteArray());
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
