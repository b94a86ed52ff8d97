#include "PortThirtySevenServer.h"
#include "StopProcess.h"
#include "TestProgram.h"
#include "TrayDesktop.h"
#include "WestonDesktop.h"
#include "TestMain.h"

#include <QImage>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

namespace {

constexpr int LineWaitMs = 5000;   // milliseconds
constexpr int WindowWaitMs = 10000; // milliseconds
constexpr int SettleMs = 1000;      // milliseconds: a window drawn, a stacking done
constexpr int PanelHeight = 40;     // pixels: weston's panel and the gap below it
// The Time Servers window's face is light grey; the cover is black with a few lines.
constexpr int LightGrey = 200; // least grey level of a pixel of the window's face
constexpr int WindowShownPixels = 40000; // pixels: a window's face, not the cover's text

} // namespace

// The real executable on a Wayland desktop (weston): the Time Servers window opens, and a
// later start asks for it with its launcher's token; and the same on X11 with a startup id.
class TestWayland : public QObject
{
    Q_OBJECT

    // Pixels of the screen below the panel that are light grey: the faces of Qt's windows.
    static int lightPixels(const QImage &screen)
    {
        int light = 0;
        for (int y = PanelHeight; y < screen.height(); ++y) {
            for (int x = 0; x < screen.width(); ++x) {
                const QRgb pixel = screen.pixel(x, y);
                if (qRed(pixel) >= LightGrey && qGreen(pixel) >= LightGrey && qBlue(pixel) >= LightGrey)
                    ++light;
            }
        }
        return light;
    }

    // The screen once the light pixels are (shown) or are not (!shown) a window's face.
    static QImage waitForWindow(const WestonDesktop &desktop, bool shown)
    {
        QImage screen;
        const QDeadlineTimer deadline(WindowWaitMs);
        do {
            QTest::qWait(TestProgram::PollMs * 4);
            screen = desktop.screenshot();
        } while (!deadline.hasExpired() && (lightPixels(screen) >= WindowShownPixels) != shown);
        return screen;
    }

    // The real program on the desktop, with only a loopback server in its data file, past
    // its first state line; null (the test failed) when it is not.
    static std::unique_ptr<QProcess> startProgram(const TestProgram &program, const QProcessEnvironment &env, QByteArray &told)
    {
        if (!program.isValid() || !program.writeDataFile({ LoopbackAddress::Unanswered }))
            return nullptr;
        auto copy = program.start({}, env);
        if (!copy || !program.settled(*copy) || !TestProgram::waitForError(*copy, told, "Looking for a time server...\n", LineWaitMs))
            return nullptr;
        return copy;
    }

private slots:
    // Opened by --show; covered by another program's window; asked for by a later start
    // with its launcher's token. The stacking is then the compositor's decision, and weston
    // offers no xdg-activation in Debian 12 (nor would any compositor honour a token it did
    // not hand out): the window stays behind, as the README says. The program asks without
    // a word on standard error, where Qt's other ways to pass a token complain about a
    // compositor without activation.
    void laterStartWithATokenOnWayland()
    {
        if (const QString missing = WestonDesktop::missing(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        WestonDesktop desktop;
        QString why;
        QVERIFY2(desktop.start(&why), qPrintable(why));
        TestProgram program;
        const QProcessEnvironment env = desktop.environment(program.environment());
        QByteArray told;
        auto copy = startProgram(program, env, told);
        QVERIFY(copy);
        auto ending = qScopeGuard([&] { stopProcess(*copy); });

        const TestProgram::Finished show = program.run({ QStringLiteral("--show") }, TestProgram::EndTimeoutMs, env);
        QCOMPARE(show.exitCode, 0);
        QCOMPARE(show.err, QByteArray());
        QImage screen = waitForWindow(desktop, true);
        QVERIFY2(lightPixels(screen) >= WindowShownPixels, "the Time Servers window did not show");
        screen.save(QStringLiteral("wayland-show.png"));

        // Another program's window over the whole screen below the panel.
        QProcess cover;
        cover.setProcessEnvironment(desktop.environment());
        cover.start(QStringLiteral("weston-fullscreen"), { QStringLiteral("-w"), QString::number(WestonDesktop::Width),
                                                           QStringLiteral("-h"), QString::number(WestonDesktop::Height - PanelHeight) });
        auto uncovering = qScopeGuard([&] { stopProcess(cover); });
        screen = waitForWindow(desktop, false);
        QVERIFY2(lightPixels(screen) < WindowShownPixels, "the other window does not cover the Time Servers window");

        QProcessEnvironment launched = env;
        launched.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), QStringLiteral("launcher-token-1"));
        const TestProgram::Finished second = program.run({}, TestProgram::EndTimeoutMs, launched);
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(second.err, QByteArray());
        QTest::qWait(SettleMs);
        screen = desktop.screenshot();
        screen.save(QStringLiteral("wayland-second-start.png"));
        QVERIFY(lightPixels(screen) < WindowShownPixels);

        // Standard error holds the state lines, and nothing of Qt's.
        QCOMPARE(copy->state(), QProcess::Running);
        const bool ended = TestProgram::terminate(*copy);
        told += copy->readAllStandardError();
        QVERIFY2(ended, told.constData());
        QCOMPARE(told, QByteArray("Looking for a time server...\n"));
    }

    // On X11 the same request carries the launcher's startup id: the window that comes
    // forward carries it too (_NET_STARTUP_ID), where the window manager reads the time of
    // the launcher's click from it.
    void laterStartWithAStartupIdOnX11()
    {
        if (!TrayDesktop::missingTools().isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty())
            QSKIP("Xvfb, xdotool or xprop is not installed");
        TrayDesktop desktop;
        QString why;
        if (!desktop.startDisplay(&why))
            QSKIP(qPrintable(why));
        TestProgram program;
        QProcessEnvironment env = program.environment(desktop.display());
        env.remove(QStringLiteral("DESKTOP_STARTUP_ID"));
        env.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
        QByteArray told;
        auto copy = startProgram(program, env, told);
        QVERIFY(copy);
        auto ending = qScopeGuard([&] { stopProcess(*copy); });

        QCOMPARE(program.run({ QStringLiteral("--show") }, TestProgram::EndTimeoutMs, env).exitCode, 0);
        QByteArray window;
        const QDeadlineTimer deadline(WindowWaitMs);
        while (window.isEmpty() && !deadline.hasExpired()) {
            QTest::qWait(TestProgram::PollMs);
            window = desktop.run(QStringLiteral("xdotool"), { QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                              QStringLiteral("--name"), QStringLiteral("^Time Servers$") })
                         .value_or(QByteArray())
                         .trimmed();
        }
        QVERIFY2(!window.isEmpty() && !window.contains('\n'), "no one Time Servers window");
        const auto startupId = [&] {
            return desktop.run(QStringLiteral("xprop"), { QStringLiteral("-id"), QString::fromLatin1(window),
                                                          QStringLiteral("_NET_STARTUP_ID") })
                .value_or(QByteArray())
                .trimmed();
        };
        QCOMPARE(startupId(), QByteArray("_NET_STARTUP_ID:  not found."));

        QProcessEnvironment launched = env;
        launched.insert(QStringLiteral("DESKTOP_STARTUP_ID"), QStringLiteral("launcher/brindlecot/1-0-host_TIME4242"));
        const TestProgram::Finished second = program.run({ QStringLiteral("--show") }, TestProgram::EndTimeoutMs, launched);
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(second.err, QByteArray());
        QTRY_COMPARE_WITH_TIMEOUT(startupId(), QByteArray("_NET_STARTUP_ID(UTF8_STRING) = \"launcher/brindlecot/1-0-host_TIME4242\""),
                                  LineWaitMs);
        QVERIFY(TestProgram::terminate(*copy));
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestWayland)
#include "tst_wayland.moc"
