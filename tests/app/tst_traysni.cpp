#include "PortThirtySevenServer.h"
#include "SniDesktop.h"
#include "TestProgram.h"
#include "TestMain.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>

// The real executable on a notification area of the D-Bus kind (StatusNotifierItem), as
// Plasma, Xfce and GNOME with its AppIndicator extension have it: an X server, a session
// bus of the test's own, and on it a watcher and host of the test's own that read the
// item's tool tip and menu and press it the way those desktops do.
class TestTraySni : public QObject
{
    Q_OBJECT

    static constexpr int StartTimeoutMs = 10000; // milliseconds: the item registers
    static constexpr int WindowTimeoutMs = 10000; // milliseconds: a window shows
    static constexpr int QuietMs = 1500;          // milliseconds: long enough for a window that would come
    // milliseconds: a synchronization, even when an attempt fails first (the next comes 11 s later)
    static constexpr int SynchronizedTimeoutMs = 25000;

    // Everything one run needs; it all ends with the object, the program first.
    struct Desktop : SniDesktop {
        TestProgram home;
        PortThirtySevenServer timeServer; // the one server of the program's data file
        std::unique_ptr<QProcess> program;

        ~Desktop()
        {
            if (program && program->state() != QProcess::NotRunning) {
                program->kill();
                program->waitForFinished(3000);
            }
        }
    };

    // The program's time server, then the X server, the bus and the watcher; skips when
    // port 37, an X server or a bus cannot be had here.
    static bool startDesktop(Desktop &desktop)
    {
        if (!desktop.timeServer.listenOn(LoopbackAddress::Sni)) {
            QTest::qSkip("cannot listen on port 37 here (needs root or CAP_NET_BIND_SERVICE)", __FILE__, __LINE__);
            return false;
        }
        return desktop.startForTest();
    }

    // The real program on that desktop, in a home of its own whose data file lists only
    // the test's own time server on port 37 of a loopback address with the interval code
    // given. Qt shows the icon through the bus because the watcher is there before the
    // program starts.
    static void startProgram(Desktop &desktop, qint32 intervalCode)
    {
        QVERIFY(desktop.home.isValid());
        QVERIFY(desktop.home.writeDataFile({ LoopbackAddress::Sni.toString() }, intervalCode));
        desktop.program = desktop.home.start({}, desktop.bus.environment(desktop.home.environment(desktop.display.display())));
        QVERIFY(desktop.program);
    }

    // The item once it has registered with the watcher.
    static std::optional<SniHost::Item> waitForItem(Desktop &desktop)
    {
        QDeadlineTimer deadline(StartTimeoutMs);
        while (desktop.host->items().isEmpty() && !deadline.hasExpired()
               && desktop.program->state() == QProcess::Running)
            QTest::qWait(50);
        if (desktop.host->items().isEmpty())
            return std::nullopt;
        return desktop.host->items().first();
    }

    // The tool tip once it satisfies the test, or the last one read when the time is up.
    template <typename Test>
    static QString waitForToolTip(Desktop &desktop, const SniHost::Item &item, int timeoutMs, Test test)
    {
        QDeadlineTimer deadline(timeoutMs);
        QString last;
        for (;;) {
            last = desktop.host->toolTipTitle(item).value_or(QStringLiteral("(no answer)"));
            if (test(last) || deadline.hasExpired())
                return last;
            QTest::qWait(100);
        }
    }

    // The visible windows titled "Time Servers" on the display.
    static int timeServersWindows(const Desktop &desktop)
    {
        const auto ids = desktop.display.run(QStringLiteral("xdotool"),
                                             { QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                               QStringLiteral("--name"), QStringLiteral("^Time Servers$") });
        // xdotool ends with status 1 when it finds none.
        if (!ids)
            return 0;
        return int(ids->trimmed().isEmpty() ? 0 : ids->trimmed().split('\n').size());
    }

    static bool waitForTimeServersWindows(const Desktop &desktop, int count, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (timeServersWindows(desktop) != count) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(100);
        }
        return true;
    }

    // The item's menu entry with the label, fresh from the item; one with id 0 when absent.
    static SniHost::MenuEntry entry(Desktop &desktop, const SniHost::Item &item, const QString &label)
    {
        const auto menu = desktop.host->menu(item);
        if (!menu)
            return {};
        const SniHost::MenuEntry *found = SniHost::find(*menu, label);
        return found ? *found : SniHost::MenuEntry {};
    }

    // What a menu must show: for each label, enabled or not, and checked (1), unchecked
    // (0) or not checkable (-1).
    struct Expected {
        const char *label;
        bool enabled;
        int checked;
    };
    static void compareMenu(const std::optional<SniHost::MenuEntry> &menu, const QList<Expected> &expected,
                            const char *when)
    {
        QVERIFY2(menu, qPrintable(QStringLiteral("%1: the item's menu did not answer").arg(QLatin1String(when))));
        for (const Expected &want : expected) {
            const QString label = QString::fromUtf8(want.label);
            const SniHost::MenuEntry *found = SniHost::find(*menu, label);
            QVERIFY2(found, qPrintable(QStringLiteral("%1: no \"%2\" in the menu").arg(QLatin1String(when), label)));
            QVERIFY2(found->enabled == want.enabled,
                     qPrintable(QStringLiteral("%1: \"%2\" %3").arg(QLatin1String(when), label,
                                                                   found->enabled ? "enabled" : "disabled")));
            QVERIFY2(found->checked == want.checked,
                     qPrintable(QStringLiteral("%1: \"%2\" checked %3, expected %4")
                                    .arg(QLatin1String(when), label)
                                    .arg(found->checked)
                                    .arg(want.checked)));
        }
    }

    static bool click(Desktop &desktop, const SniHost::Item &item, const QString &label)
    {
        const SniHost::MenuEntry chosen = entry(desktop, item, label);
        return chosen.id != 0 && desktop.host->click(item, chosen.id);
    }

    static bool isSynchronized(const QString &toolTip)
    {
        static const QRegularExpression form(QStringLiteral("^Synchronized on \\S.* at (0?[1-9]|1[0-2]):[0-5][0-9] (AM|PM)$"));
        return form.match(toolTip).hasMatch();
    }

private slots:
    // The item registers; its tool tip follows the state; the menu comes through dbusmenu
    // with its labels in order, its enabled states and check marks, and its commands work;
    // Exit ends the program with its data file written.
    void itemToolTipMenuAndExit()
    {
        Desktop desktop;
        if (!startDesktop(desktop))
            return;
        // The interval of the data file is "Minute", not the default, so that the check
        // marks show what the program read.
        startProgram(desktop, 1);
        if (QTest::currentTestFailed())
            return;

        const auto item = waitForItem(desktop);
        QVERIFY2(item, qPrintable(QStringLiteral("the program registered no item with the watcher: ")
                                  + QString::fromLocal8Bit(desktop.program->readAllStandardError())));
        QVERIFY(!desktop.host->menuPath(*item).isEmpty());

        // Until the first attempt ends (about ten seconds after the start), it is looking.
        QCOMPARE(waitForToolTip(desktop, *item, 5000,
                                [](const QString &text) { return text == QLatin1String("Looking for a time server..."); }),
                 QStringLiteral("Looking for a time server..."));

        // The whole menu, in order, with the interval of the data file checked.
        const auto menu = desktop.host->menu(*item);
        QVERIFY2(menu, "the item's menu did not answer");
        QStringList labels;
        const std::function<void(const SniHost::MenuEntry &)> collect = [&](const SniHost::MenuEntry &parent) {
            for (const SniHost::MenuEntry &child : parent.children) {
                if (child.separator || !child.visible)
                    continue;
                labels << child.label;
                collect(child);
            }
        };
        collect(*menu);
        QCOMPARE(labels, (QStringList { "Synchronize Now", "Synchronize Every...", "Minute", "Hour", "Day",
                                        "Pause Synchronization", "Edit Time Servers...", "Restore Defaults",
                                        "Home Page...", "Report a Problem...", "About Brindlecot...", "Help...",
                                        "Exit" }));
        const SniHost::MenuEntry *every = SniHost::find(*menu, QStringLiteral("Synchronize Every..."));
        QVERIFY(every);
        QCOMPARE(every->children.size(), 3);
        compareMenu(menu,
                    { { "Synchronize Now", true, -1 }, { "Synchronize Every...", true, -1 }, { "Minute", true, 1 },
                      { "Hour", true, 0 }, { "Day", true, 0 }, { "Pause Synchronization", true, 0 },
                      { "Edit Time Servers...", true, -1 }, { "Restore Defaults", true, -1 },
                      { "Home Page...", true, -1 }, { "Report a Problem...", true, -1 },
                      { "About Brindlecot...", true, -1 }, { "Help...", true, -1 }, { "Exit", true, -1 } },
                    "at start");
        if (QTest::currentTestFailed())
            return;

        // "Synchronize Now": the test's server answers with this machine's time, so the
        // clock is right.
        QVERIFY(click(desktop, *item, QStringLiteral("Synchronize Now")));
        const QString synchronized = waitForToolTip(desktop, *item, SynchronizedTimeoutMs, isSynchronized);
        QVERIFY2(isSynchronized(synchronized), qPrintable(QStringLiteral("tool tip: ") + synchronized));
        // The icon's picture comes through the bus too, and follows the state.
        const QList<SniHost::Picture> synchronizedPictures = desktop.host->iconPictures(*item);
        QVERIFY(!synchronizedPictures.isEmpty());
        for (const SniHost::Picture &picture : synchronizedPictures)
            QVERIFY(picture.width > 0 && picture.pixels.size() == picture.width * picture.height * 4);

        // Paused: its own tool tip, the synchronizing items disabled, the pause checked,
        // and a left press opens nothing.
        QVERIFY(click(desktop, *item, QStringLiteral("Pause Synchronization")));
        QCOMPARE(waitForToolTip(desktop, *item, 5000,
                                [](const QString &text) { return text == QLatin1String("Time synchronization is paused"); }),
                 QStringLiteral("Time synchronization is paused"));
        const QList<SniHost::Picture> pausedPictures = desktop.host->iconPictures(*item);
        QVERIFY(!pausedPictures.isEmpty());
        QVERIFY(pausedPictures != synchronizedPictures);
        compareMenu(desktop.host->menu(*item),
                    { { "Synchronize Now", false, -1 }, { "Synchronize Every...", false, -1 },
                      { "Pause Synchronization", true, 1 }, { "Edit Time Servers...", true, -1 },
                      { "Restore Defaults", true, -1 }, { "About Brindlecot...", true, -1 }, { "Exit", true, -1 } },
                    "paused");
        if (QTest::currentTestFailed())
            return;
        QVERIFY(desktop.host->activate(*item, 10, 10));
        QTest::qWait(QuietMs);
        QCOMPARE(timeServersWindows(desktop), 0);

        // Unpaused: the items come back and it synchronizes at once.
        QVERIFY(click(desktop, *item, QStringLiteral("Pause Synchronization")));
        const QString again = waitForToolTip(desktop, *item, SynchronizedTimeoutMs, isSynchronized);
        QVERIFY2(isSynchronized(again), qPrintable(QStringLiteral("tool tip after the pause: ") + again));
        compareMenu(desktop.host->menu(*item),
                    { { "Synchronize Now", true, -1 }, { "Synchronize Every...", true, -1 },
                      { "Pause Synchronization", true, 0 } },
                    "after the pause");
        if (QTest::currentTestFailed())
            return;

        // "Hour": checked alone, and on disk at once.
        QVERIFY(click(desktop, *item, QStringLiteral("Hour")));
        QTRY_COMPARE_WITH_TIMEOUT(entry(desktop, *item, QStringLiteral("Hour")).checked, 1, 5000);
        compareMenu(desktop.host->menu(*item), { { "Minute", true, 0 }, { "Hour", true, 1 }, { "Day", true, 0 } },
                    "after Hour");
        if (QTest::currentTestFailed())
            return;
        const TestProgram::Saved chosen = desktop.home.readDataFile();
        QVERIFY(chosen.read);
        QCOMPARE(chosen.Interval.code(), 2);

        // "Exit": the program ends with status 0 and writes its data file on the way out
        // (it was removed here, so what is there now is the program's).
        QVERIFY(QFile::remove(desktop.home.dataFile()));
        QVERIFY(click(desktop, *item, QStringLiteral("Exit")));
        QVERIFY2(desktop.program->waitForFinished(10000), "still running after Exit");
        QCOMPARE(desktop.program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(desktop.program->exitCode(), 0);
        const TestProgram::Saved saved = desktop.home.readDataFile();
        QVERIFY2(saved.read, "no data file written at Exit");
        QCOMPARE(saved.Interval.code(), 2);
        QCOMPARE(saved.Hosts.count(), 1);
        QCOMPARE(saved.Hosts.Item(1)->HostPath(), LoopbackAddress::Sni.toString());
    }

    // Activate, the desktop's left press, opens the Time Servers window; while it is open
    // the menu offers only the web pages and the help, a second press opens no other, and
    // a click on an interval changes nothing. --quit, the launcher's "Exit" action, ends the
    // program all the same, with its data file written.
    void activateOpensTimeServers()
    {
        Desktop desktop;
        if (!startDesktop(desktop))
            return;
        startProgram(desktop, 3);
        if (QTest::currentTestFailed())
            return;
        const auto item = waitForItem(desktop);
        QVERIFY2(item, "the program registered no item with the watcher");
        QCOMPARE(timeServersWindows(desktop), 0);
        const QImage before = desktop.display.screenshot();
        QVERIFY(!before.isNull());

        QVERIFY(desktop.host->activate(*item, 10, 10));
        QVERIFY2(waitForTimeServersWindows(desktop, 1, WindowTimeoutMs), "no Time Servers window opened");

        // It is drawn: most of its place on the screen changed. Kept for a person to see,
        // with the icon's largest picture as the bus carried it.
        const QList<QRect> windows = desktop.display.windows(QStringLiteral("brindlecot"));
        QCOMPARE(windows.size(), 1);
        QTest::qWait(500);
        const QImage after = desktop.display.screenshot();
        after.save(QStringLiteral("traysni-window.png"));
        const QRect area = windows.first() & after.rect();
        int changed = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x)
                changed += before.pixel(x, y) != after.pixel(x, y);
        }
        QVERIFY2(changed > area.width() * area.height() / 2,
                 qPrintable(QStringLiteral("%1 of %2 pixels drawn").arg(changed).arg(area.width() * area.height())));
        const QList<SniHost::Picture> pictures = desktop.host->iconPictures(*item);
        QVERIFY(!pictures.isEmpty());
        const SniHost::Picture &largest = *std::max_element(
            pictures.begin(), pictures.end(), [](const auto &a, const auto &b) { return a.width < b.width; });
        QVERIFY(largest.pixels.size() == largest.width * largest.height * 4);
        QImage icon(largest.width, largest.height, QImage::Format_ARGB32);
        for (int y = 0; y < largest.height; ++y) {
            for (int x = 0; x < largest.width; ++x) {
                const auto *argb = reinterpret_cast<const uchar *>(largest.pixels.constData()) + (y * largest.width + x) * 4;
                icon.setPixel(x, y, qRgba(argb[1], argb[2], argb[3], argb[0]));
            }
        }
        icon.save(QStringLiteral("traysni-icon.png"));

        const auto menu = desktop.host->menu(*item);
        QVERIFY2(menu, "the item's menu did not answer");
        compareMenu(menu,
                    { { "Synchronize Now", false, -1 }, { "Synchronize Every...", false, -1 },
                      { "Minute", false, 0 }, { "Hour", false, 0 }, { "Day", false, 1 },
                      { "Pause Synchronization", false, 0 }, { "Edit Time Servers...", false, -1 },
                      { "Restore Defaults", false, -1 }, { "Home Page...", true, -1 },
                      { "Report a Problem...", true, -1 }, { "About Brindlecot...", false, -1 },
                      { "Help...", true, -1 }, { "Exit", false, -1 } },
                    "with the Time Servers window open");
        if (QTest::currentTestFailed())
            return;

        QVERIFY(desktop.host->activate(*item, 10, 10));
        QTest::qWait(QuietMs);
        QCOMPARE(timeServersWindows(desktop), 1);

        // The host sends a click on "Hour" by its id all the same: the interval stays, and
        // the file is not written (it was removed here).
        QVERIFY(QFile::remove(desktop.home.dataFile()));
        QVERIFY(click(desktop, *item, QStringLiteral("Hour")));
        QTest::qWait(QuietMs);
        QVERIFY2(!QFile::exists(desktop.home.dataFile()), "a click on Hour saved the file");
        compareMenu(desktop.host->menu(*item), { { "Minute", false, 0 }, { "Hour", false, 0 }, { "Day", false, 1 } },
                    "after a click on Hour");
        if (QTest::currentTestFailed())
            return;

        // --sync-now is refused while the window is open; --quit ends the program with
        // status 0 and its data file written, the interval as it was.
        const QProcessEnvironment env = desktop.bus.environment(desktop.home.environment(desktop.display.display()));
        const TestProgram::Finished sync = desktop.home.run({ QStringLiteral("--sync-now") }, TestProgram::EndTimeoutMs, env);
        QCOMPARE(sync.exitCode, 1);
        QCOMPARE(sync.err, QByteArray("The Time Servers window is open; Brindlecot synchronizes when it closes.\n"));
        QCOMPARE(desktop.program->state(), QProcess::Running);
        const TestProgram::Finished quit = desktop.home.run({ QStringLiteral("--quit") }, TestProgram::EndTimeoutMs, env);
        QVERIFY(quit.ended);
        QCOMPARE(quit.exitCode, 0);
        QCOMPARE(quit.out + quit.err, QByteArray());
        QVERIFY2(desktop.program->waitForFinished(10000), "still running after --quit");
        QCOMPARE(desktop.program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(desktop.program->exitCode(), 0);
        const TestProgram::Saved saved = desktop.home.readDataFile();
        QVERIFY2(saved.read, "no data file written at --quit");
        QCOMPARE(saved.Interval.code(), 3);
        QCOMPARE(saved.Hosts.count(), 1);
        QCOMPARE(saved.Hosts.Item(1)->HostActive(), qint16(1));
    }

    // While the "Restore Defaults" question is open, a desktop of this kind still delivers
    // the left press and the menu's commands over the bus: they do nothing, as on a modal
    // desktop, and the menu shows every command disabled. A termination meanwhile still
    // ends the program cleanly.
    void questionHoldsTheIconAndTheMenu()
    {
        Desktop desktop;
        if (!startDesktop(desktop))
            return;
        startProgram(desktop, 3);
        if (QTest::currentTestFailed())
            return;
        const auto item = waitForItem(desktop);
        QVERIFY2(item, "the program registered no item with the watcher");

        QVERIFY(click(desktop, *item, QStringLiteral("Restore Defaults")));
        const auto questions = [&] {
            const auto ids = desktop.display.run(QStringLiteral("xdotool"),
                                                 { QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                   QStringLiteral("--name"), QStringLiteral("^Add Default Time Servers") });
            return ids && !ids->trimmed().isEmpty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(questions(), WindowTimeoutMs);

        compareMenu(desktop.host->menu(*item),
                    { { "Synchronize Now", false, -1 }, { "Synchronize Every...", false, -1 },
                      { "Minute", false, 0 }, { "Hour", false, 0 }, { "Day", false, 1 },
                      { "Pause Synchronization", false, 0 }, { "Edit Time Servers...", false, -1 },
                      { "Restore Defaults", false, -1 }, { "Home Page...", false, -1 },
                      { "Report a Problem...", false, -1 }, { "About Brindlecot...", false, -1 },
                      { "Help...", false, -1 }, { "Exit", false, -1 } },
                    "during the question");
        if (QTest::currentTestFailed())
            return;

        // The press and the commands arrive all the same; nothing opens, nothing ends.
        QVERIFY(desktop.host->activate(*item, 10, 10));
        QVERIFY(click(desktop, *item, QStringLiteral("Edit Time Servers...")));
        QVERIFY(click(desktop, *item, QStringLiteral("Hour")));
        QVERIFY(click(desktop, *item, QStringLiteral("Exit")));
        QTest::qWait(QuietMs);
        QCOMPARE(timeServersWindows(desktop), 0);
        QCOMPARE(desktop.program->state(), QProcess::Running);
        QVERIFY(questions());

        // Ended with the question unanswered: its data file is written (it was removed
        // here), without the servers that only a Yes adds, with the interval as it was.
        QVERIFY(QFile::remove(desktop.home.dataFile()));
        QVERIFY(TestProgram::terminate(*desktop.program));
        const TestProgram::Saved saved = desktop.home.readDataFile();
        QVERIFY2(saved.read, "no data file written at the end");
        QCOMPARE(saved.Hosts.count(), 1);
        QCOMPARE(saved.Interval.code(), 3);
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestTraySni)
#include "tst_traysni.moc"
