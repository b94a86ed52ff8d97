#include "app/ControlProtocol.h"
#include "app/Presence.h"
#include "state/ProgramState.h"
#include "TestMain.h"

#include <QRegularExpression>
#include <QTest>

Q_DECLARE_METATYPE(Control::Request)
Q_DECLARE_METATYPE(Control::Facts)

// What later starts say to the running copy, and where the program shows itself.
class TestControlProtocol : public QObject
{
    Q_OBJECT

    // A copy that synchronized with its second server, three seconds off, an hour ago.
    static Control::Facts synchronized()
    {
        Control::Facts facts;
        facts.trayAlert = TrayAlert::Synchronized;
        facts.lastServerPath = QStringLiteral("127.0.0.3");
        facts.lastServerName = QStringLiteral("loopback three");
        facts.lastSuccess = DateTime::fromParts(QDate(2026, 12, 10), QTime(14, 5, 9));
        facts.correction = 3;
        facts.nextAttempt = 3599;
        facts.interval = 2;
        facts.activeServers = 2;
        facts.servers = 3;
        facts.clockAccess.privileged = true;
        facts.serving = true;
        return facts;
    }

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

    // The whole text of a copy that has synchronized: one fact a line, the values in one
    // column, every date in one form.
    void statusTellsEveryFact()
    {
        Control::Facts facts = synchronized();
        QCOMPARE(Control::statusText(facts), QStringLiteral("State:              Synchronized\n"
                                                            "Server:             127.0.0.3 (loopback three)\n"
                                                            "Last success:       2026-12-10 14:05:09\n"
                                                            "Correction:         3 s\n"
                                                            "Next attempt:       in 3599 s\n"
                                                            "Interval:           hour\n"
                                                            "Paused:             no\n"
                                                            "Active servers:     2 of 3\n"
                                                            "May set the clock:  yes\n"
                                                            "Serving port 37:    yes\n"));
        facts.otherTimeService = QStringLiteral("systemd-timesyncd");
        QVERIFY(Control::statusText(facts).endsWith(QStringLiteral("Serving port 37:    yes\n"
                                                                   "Other time service: systemd-timesyncd also sets this clock\n")));
    }

    void statusLines_data()
    {
        QTest::addColumn<Control::Facts>("facts");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value"); // empty: no such line
        const auto row = [](const char *title, const Control::Facts &facts, const char *name, const QString &value) {
            QTest::newRow(title) << facts << QString::fromLatin1(name) << value;
        };
        Control::Facts facts = synchronized();
        facts.lastSuccess = DateTime::Never;
        facts.lastServerPath.clear();
        facts.correction.reset();
        row("never: server", facts, "Server", "none");
        row("never: date", facts, "Last success", "never");
        row("never: correction", facts, "Correction", "none");

        facts = synchronized();
        facts.lastServerPath.clear();
        facts.correction.reset();
        row("server removed since", facts, "Server", "(removed from the list since)");
        row("server removed since: date", facts, "Last success", "2026-12-10 14:05:09");
        facts = synchronized();
        facts.lastServerName = facts.lastServerPath;
        row("name as the address", facts, "Server", "127.0.0.3");
        facts.lastServerName = QStringLiteral("two\nlines\x1b[2J");
        row("a name of two lines", facts, "Server", "127.0.0.3 (two lines [2J)");
        facts = synchronized();
        facts.lastSuccess = DateTime::fromParts(QDate(2027, 1, 2), QTime(3, 4, 5));
        row("date with leading zeros", facts, "Last success", "2027-01-02 03:04:05");

        facts = synchronized();
        facts.trayAlert = TrayAlert::Paused;
        facts.paused = true;
        facts.nextAttempt.reset();
        row("paused: state", facts, "State", "Time synchronization is paused");
        row("paused: next", facts, "Next attempt", "none while paused");
        row("paused: flag", facts, "Paused", "yes");
        facts = synchronized();
        facts.nextAttempt.reset();
        row("window open", facts, "Next attempt", "when the Time Servers window closes");
        facts = synchronized();
        facts.trayAlert = TrayAlert::TooFarOff;
        row("too far off", facts, "State", "Time is off by more than 30 minutes - adjust manually");
        facts.trayAlert = TrayAlert::Failed;
        facts.trayAlertMessage = QStringLiteral("Error (1) when time received\nfrom server");
        row("error on one line", facts, "State", "Error (1) when time received from server");
        facts.trayAlert = TrayAlert::Looking;
        row("looking", facts, "State", "Looking for a time server...");
        facts = synchronized();
        facts.interval = 1;
        row("interval minute", facts, "Interval", "minute");
        facts.interval = 3;
        row("interval day", facts, "Interval", "day");

        facts = synchronized();
        facts.clockAccess = ClockAccess {};
        row("no helper", facts, "May set the clock", "no (the clock helper is not installed)");
        facts.clockAccess.helperInstalled = true;
        facts.clockAccess.account = QStringLiteral("ada");
        row("helper, not for this account", facts, "May set the clock",
            "no (an administrator allows it: sudo adduser ada brindlecot)");
        facts.clockAccess.helperRunnable = true;
        row("through the helper", facts, "May set the clock", "yes, through the clock helper");
        facts.clockAccess = ClockAccess { false, false, false, QStringLiteral("ada"), ClockGrant::SystemRight };
        row("Windows without the right", facts, "May set the clock",
            "no (an administrator grants the right \"Change the system time\")");
        facts = synchronized();
        facts.serving = false;
        facts.port = 3737;
        row("not serving, another port", facts, "Serving port 3737", "no");
        row("no other service", facts, "Other time service", "");
        facts.otherTimeService = QStringLiteral("chronyd");
        row("chronyd", facts, "Other time service", "chronyd also sets this clock");
    }

    void statusLines()
    {
        QFETCH(Control::Facts, facts);
        QFETCH(QString, name);
        QFETCH(QString, value);
        const QStringList lines = Control::statusText(facts).split(QLatin1Char('\n'));
        const QStringList found = lines.filter(QRegularExpression(QStringLiteral("^%1: +").arg(QRegularExpression::escape(name))));
        QCOMPARE(found.size(), value.isEmpty() ? 0 : 1);
        if (!value.isEmpty())
            QCOMPARE(found.first().mid(found.first().indexOf(QLatin1Char(':')) + 1).trimmed(), value);
        for (const QString &line : lines) // every value in the same column
            QVERIFY2(line.isEmpty() || (line.size() > 20 && line.at(19) == QLatin1Char(' ') && line.at(20) != QLatin1Char(' ')),
                     qPrintable(line));
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

BRINDLECOT_TEST_GUILESS_MAIN(TestControlProtocol)
#include "tst_controlprotocol.moc"
