#include "PortThirtySevenServer.h"
#include "TestProgram.h"
#include "TrayDesktop.h"
#include "servers/DataFile.h"
#include "TestMain.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

// The real executable on a real notification area: an X server, a tray host, the
// program's icon in it, its menu read from the screen, and Exit chosen from it.
class TestTrayDesktop : public QObject
{
    Q_OBJECT

    TestProgram mProgram;

    QString dataFile() const { return mProgram.dataFile(); }

    // Only a loopback server where nothing answers, the interval "Hour", in the previous
    // file version, so that the program's own save shows in the file.
    void writeDataFile() { QVERIFY(mProgram.writeDataFile({ LoopbackAddress::Unanswered }, 2, 6)); }

    // Pixels of the area that differ from the same area before.
    static int changedPixels(const QImage &before, const QImage &after, const QRect &area)
    {
        int changed = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (before.pixel(x, y) != after.pixel(x, y))
                    ++changed;
            }
        }
        return changed;
    }

    static void keep(const QImage &image, const QString &name)
    {
        // Left in the test's folder for a person to look at.
        image.save(name);
    }

    // The words on a piece of the screen, with where each lies, by Debian's tesseract.
    struct Word {
        QString text;
        QRect box;
    };
    static QList<Word> readWords(const TrayDesktop &desktop, const QImage &piece, int scale)
    {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        piece.scaled(piece.size() * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .save(&buffer, "PNG");
        const auto tsv = desktop.run(QStringLiteral("tesseract"), { QStringLiteral("stdin"), QStringLiteral("stdout"),
                                                                    QStringLiteral("tsv") }, png);
        QList<Word> words;
        if (!tsv)
            return words;
        for (const QByteArray &line : tsv->split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() < 12 || fields.at(0) != "5" || fields.at(11).trimmed().isEmpty())
                continue;
            words << Word { QString::fromUtf8(fields.at(11).trimmed()),
                            QRect(fields.at(6).toInt() / scale, fields.at(7).toInt() / scale,
                                  fields.at(8).toInt() / scale, fields.at(9).toInt() / scale) };
        }
        return words;
    }

    // The program's icon inside the tray (which grows to take it); null when none shows
    // within the time.
    static QRect iconInTray(const TrayDesktop &desktop, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            const QList<QRect> icons = desktop.windows(QStringLiteral("brindlecot"));
            const QList<QRect> trays = desktop.windows(QStringLiteral("trayer"));
            if (icons.size() == 1 && trays.size() == 1 && trays.first().contains(icons.first()))
                return icons.first();
            QThread::msleep(100);
        }
        return {};
    }

    // The real program on the desktop, with the data file of writeDataFile(). It may never
    // set this machine's clock, whatever it is told.
    void startProgram(QProcess &program, const TrayDesktop &desktop)
    {
        QVERIFY(mProgram.isValid());
        writeDataFile();
        QVERIFY(mProgram.start(program, {}, mProgram.environment(desktop.display())));
    }

    static void endProgram(QProcess &program)
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(3000);
        }
    }

    // The tools this test uses on the display: TrayDesktop's, and tesseract to read the menu.
    static QStringList tools() { return TrayDesktop::tools() << QStringLiteral("tesseract"); }

    // The visible Time Servers windows.
    static int timeServersWindows(const TrayDesktop &desktop)
    {
        const auto ids = desktop.run(QStringLiteral("xdotool"), { QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                                  QStringLiteral("--name"), QStringLiteral("^Time Servers$") });
        // xdotool ends with status 1 when it finds none.
        if (!ids || ids->trimmed().isEmpty())
            return 0;
        return int(ids->trimmed().split('\n').size());
    }

    // Opens the menu with the right button and chooses the item whose caption holds the
    // word, found on the screen; the menu has closed when it returns.
    static void chooseFromMenu(const TrayDesktop &desktop, const QRect &icon, const QString &word)
    {
        QVERIFY(desktop.click(icon.center(), 3));
        QVERIFY2(desktop.waitForWindows(QStringLiteral("brindlecot"), 2, 5000), "no menu opened");
        QRect menu;
        for (const QRect &window : desktop.windows(QStringLiteral("brindlecot"))) {
            if (window != icon)
                menu = window;
        }
        QVERIFY(menu.height() > 100);
        QTest::qWait(300);
        QRect item;
        for (const Word &read : readWords(desktop, desktop.screenshot().copy(menu), 3)) {
            if (read.text == word)
                item = read.box.translated(menu.topLeft());
        }
        QVERIFY2(item.isValid(), qPrintable(QStringLiteral("\"%1\" not read from the menu").arg(word)));
        QVERIFY(desktop.click(item.center(), 1));
        QDeadlineTimer deadline(5000);
        while (desktop.windows(QStringLiteral("brindlecot")).size() > 1 && !deadline.hasExpired())
            QThread::msleep(100);
        QCOMPARE(desktop.windows(QStringLiteral("brindlecot")).size(), 1);
    }

    // The tray with the program's icon in it; fails the test when it does not come.
    QRect startWithIcon(TrayDesktop &desktop, QProcess &program)
    {
        QString why;
        if (!desktop.startTray(&why)) {
            QTest::qFail(qPrintable(why), __FILE__, __LINE__);
            return {};
        }
        startProgram(program, desktop);
        if (QTest::currentTestFailed())
            return {};
        const QRect icon = iconInTray(desktop, 10000);
        if (icon.isNull())
            QTest::qFail("no icon appeared in the tray", __FILE__, __LINE__);
        return icon;
    }

private slots:
    void iconMenuAndExit()
    {
        TrayDesktop desktop;
        if (!desktop.startForTest(tools()))
            return;
        QString why;
        QVERIFY2(desktop.startTray(&why), qPrintable(why));
        QCOMPARE(desktop.windows(QStringLiteral("trayer")).size(), 1);
        const QImage empty = desktop.screenshot();
        QVERIFY(!empty.isNull());

        QProcess program;
        auto ending = qScopeGuard([&] { endProgram(program); });
        startProgram(program, desktop);
        if (QTest::currentTestFailed())
            return;

        // The icon: a window of the program inside the tray, and the tray's pixels changed.
        const QRect icon = iconInTray(desktop, 10000);
        QVERIFY2(!icon.isNull(), "no icon appeared in the tray");
        QTest::qWait(500); // drawn
        const QImage withIcon = desktop.screenshot();
        keep(withIcon, QStringLiteral("traydesktop-icon.png"));
        QVERIFY(changedPixels(empty, withIcon, icon) > icon.width() * icon.height() / 4);

        // The right button opens the menu with its captions.
        QVERIFY(desktop.click(icon.center(), 3));
        QVERIFY2(desktop.waitForWindows(QStringLiteral("brindlecot"), 2, 5000), "no menu opened");
        QRect menu;
        for (const QRect &window : desktop.windows(QStringLiteral("brindlecot"))) {
            if (window != icon)
                menu = window;
        }
        QVERIFY(menu.height() > 100);
        QTest::qWait(300);
        const QImage withMenu = desktop.screenshot();
        keep(withMenu, QStringLiteral("traydesktop-menu.png"));
        const QList<Word> words = readWords(desktop, withMenu.copy(menu), 3);
        QStringList read;
        for (const Word &word : words)
            read << word.text;
        const QString text = read.join(QLatin1Char(' '));
        const QStringList captions { "Synchronize Now", "Synchronize Every...", "Pause Synchronization",
                                     "Edit Time Servers...", "Restore Defaults", "Home Page...", "Report a Problem...",
                                     "About Brindlecot...", "Help...", "Exit" };
        qsizetype from = 0;
        for (const QString &caption : captions) {
            const qsizetype at = text.indexOf(caption, from);
            QVERIFY2(at >= 0, qPrintable(QStringLiteral("\"%1\" not read in order from the menu: %2").arg(caption, text)));
            from = at + caption.size();
        }

        // "Exit" ends the program, which writes its data file on the way out.
        QRect exit;
        for (const Word &word : words) {
            if (word.text == QStringLiteral("Exit"))
                exit = word.box.translated(menu.topLeft());
        }
        QVERIFY(exit.isValid());
        QVERIFY(desktop.click(exit.center(), 1));
        QVERIFY2(program.waitForFinished(10000), "still running after Exit");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        // In a notification area nothing is printed: no state lines, and none of Qt's
        // complaints (its X11 tray fallback once warned about a signal on every start).
        const QByteArray told = program.readAllStandardError();
        QVERIFY2(told.isEmpty(), told.constData());
        QFile file(dataFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(2), QByteArray::fromHex("0700"));
        file.close();
        const TestProgram::Saved saved = mProgram.readDataFile();
        QVERIFY(saved.read);
        QCOMPARE(saved.Hosts.count(), 1);
        QCOMPARE(saved.Interval.code(), 2);
        QVERIFY(desktop.windows(QStringLiteral("brindlecot")).isEmpty());
    }

    // The left press opens the Time Servers window; with the window open, a second press
    // opens no other.
    void leftPressOpensTimeServersOnce()
    {
        TrayDesktop desktop;
        if (!desktop.startForTest(tools()))
            return;
        QProcess program;
        auto ending = qScopeGuard([&] { endProgram(program); });
        const QRect icon = startWithIcon(desktop, program);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(timeServersWindows(desktop), 0);

        QVERIFY(desktop.click(icon.center(), 1));
        QDeadlineTimer deadline(10000);
        while (timeServersWindows(desktop) == 0 && !deadline.hasExpired())
            QThread::msleep(100);
        QCOMPARE(timeServersWindows(desktop), 1);
        // The window leaves the icon free, so that the next press reaches the icon.
        for (const QRect &window : desktop.windows(QStringLiteral("brindlecot")))
            QVERIFY(window == icon || !window.contains(icon.center()));

        // A point of the icon beside the first: xdotool's move waits for the pointer to
        // move, and would wait for ever where it already is.
        QVERIFY(desktop.click(icon.center() + QPoint(1, 1), 1));
        QTest::qWait(1500);
        QCOMPARE(timeServersWindows(desktop), 1);
        QCOMPARE(program.state(), QProcess::Running);
        QVERIFY(TestProgram::terminate(program));
    }

    // While paused, the left press opens nothing.
    void leftPressWhilePausedOpensNothing()
    {
        TrayDesktop desktop;
        if (!desktop.startForTest(tools()))
            return;
        QProcess program;
        auto ending = qScopeGuard([&] { endProgram(program); });
        const QRect icon = startWithIcon(desktop, program);
        if (QTest::currentTestFailed())
            return;
        QTest::qWait(500); // drawn
        chooseFromMenu(desktop, icon, QStringLiteral("Pause"));
        if (QTest::currentTestFailed())
            return;

        QVERIFY(desktop.click(icon.center(), 1));
        QTest::qWait(1500);
        QCOMPARE(timeServersWindows(desktop), 0);
        QCOMPARE(program.state(), QProcess::Running);
        QVERIFY(TestProgram::terminate(program));
    }

    void iconAppearsWhenTheTrayStartsLater()
    {
        // The panel often starts after the programs of a session.
        TrayDesktop desktop;
        if (!desktop.startForTest(tools()))
            return;
        QProcess program;
        auto ending = qScopeGuard([&] { endProgram(program); });
        startProgram(program, desktop);
        if (QTest::currentTestFailed())
            return;
        // Meanwhile it tells its state in lines, as without a desktop.
        QByteArray told;
        QVERIFY(TestProgram::waitForError(program, told, "Looking for a time server...\n", 5000));
        QCOMPARE(program.state(), QProcess::Running);

        QString why;
        QVERIFY2(desktop.startTray(&why), qPrintable(why));
        QVERIFY2(!iconInTray(desktop, 10000).isNull(), "no icon appeared in the tray");
        QCOMPARE(program.state(), QProcess::Running);
        QVERIFY(TestProgram::terminate(program));
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestTrayDesktop)
#include "tst_traydesktop.moc"
