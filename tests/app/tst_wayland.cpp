#include "PortThirtySevenServer.h"
#include "StopProcess.h"
#include "TestProgram.h"
#include "WestonDesktop.h"

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
// later start brings it in front of another window with its launcher's token.
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

private slots:
    void initTestCase()
    {
        if (const QString missing = WestonDesktop::missing(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
    }

    // Opened by --show; covered by another window; brought forward by a later start with a
    // token. Debian 12's weston has no xdg-activation to take the token: the window is shown
    // anew then, which such a compositor puts in front. Without a token nothing is asked
    // of the desktop that it could refuse, and the window stays where it is.
    void laterStartBringsTheWindowForward_data()
    {
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<bool>("forward");
        QTest::newRow("launcher's token") << QByteArray("launcher-token-1") << true;
        QTest::newRow("no token") << QByteArray() << false;
    }

    void laterStartBringsTheWindowForward()
    {
        QFETCH(QByteArray, token);
        QFETCH(bool, forward);
        WestonDesktop desktop;
        QString why;
        QVERIFY2(desktop.start(&why), qPrintable(why));
        TestProgram program;
        QVERIFY(program.isValid());
        QVERIFY(program.writeDataFile({ LoopbackAddress::Unanswered }));
        const QProcessEnvironment env = desktop.environment(program.environment());
        auto copy = program.start({}, env);
        QVERIFY(copy);
        auto ending = qScopeGuard([&] { stopProcess(*copy); });
        QVERIFY(program.settled(*copy));
        QByteArray told;
        QVERIFY(TestProgram::waitForError(*copy, told, "Looking for a time server...\n", LineWaitMs));

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
        screen.save(QStringLiteral("wayland-covered.png"));

        QProcessEnvironment launched = env;
        if (!token.isEmpty())
            launched.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), QString::fromLatin1(token));
        const TestProgram::Finished second = program.run({}, TestProgram::EndTimeoutMs, launched);
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(second.err, QByteArray());
        screen = forward ? waitForWindow(desktop, true) : (QTest::qWait(SettleMs), desktop.screenshot());
        screen.save(QStringLiteral("wayland-second-start-%1.png").arg(token.isEmpty() ? QStringLiteral("no-token") : QStringLiteral("token")));
        QCOMPARE(lightPixels(screen) >= WindowShownPixels, forward);

        // Standard error holds the state lines and nothing of Qt's.
        QCOMPARE(copy->state(), QProcess::Running);
        QVERIFY(TestProgram::terminate(*copy));
        told += copy->readAllStandardError();
        QCOMPARE(told, QByteArray("Looking for a time server...\n"));
    }
};

QTEST_GUILESS_MAIN(TestWayland)
#include "tst_wayland.moc"
