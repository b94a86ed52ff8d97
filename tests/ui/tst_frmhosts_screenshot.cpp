#include "TrayDesktop.h"
#include "TestMain.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

// The Time Servers window on a real X server (Xvfb), photographed from outside with
// ImageMagick's import, at its design size and at twice the density. The test checks that
// every element is on the picture where the window says it is, drawn and not empty; the
// pictures stay in the build folder (screenshots/) for a person to look at.
class TestFrmHostsScreenshot : public QObject
{
    Q_OBJECT

    static constexpr int StartLimit = 10000; // milliseconds for a process to start or answer

    TrayDesktop mDesktop; // its display alone, without a notification area
    QString mDisplay;
    QString mImport;

    struct Shot {
        QImage image;
        QHash<QString, QRect> where; // element name -> rectangle in screen pixels
    };

    // Runs the window helper on the display, reads where its elements are, photographs
    // the screen and ends the helper.
    Shot photograph(const QStringList &environment, const QString &file)
    {
        Shot shot;
        QProcess helper;
        QProcessEnvironment env = mDesktop.environment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        for (const QString &pair : environment)
            env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        helper.setProcessEnvironment(env);
        helper.setProcessChannelMode(QProcess::SeparateChannels);
        helper.start(QStringLiteral(FRMHOSTS_SHOW), {QStringLiteral("--busy")});
        if (!helper.waitForStarted(StartLimit))
            return shot;

        QElapsedTimer waited;
        waited.start();
        QByteArray output;
        while (!output.contains("shown\n") && waited.elapsed() < StartLimit && helper.state() == QProcess::Running) {
            helper.waitForReadyRead(200);
            output += helper.readAllStandardOutput();
        }
        for (const QByteArray &line : output.split('\n')) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() == 5)
                shot.where.insert(QString::fromLatin1(f[0]), QRect(f[1].toInt(), f[2].toInt(), f[3].toInt(), f[4].toInt()));
        }
        if (output.contains("shown\n")) {
            QProcess import;
            import.start(mImport, {QStringLiteral("-display"), mDisplay, QStringLiteral("-window"), QStringLiteral("root"), file});
            if (import.waitForFinished(StartLimit) && import.exitCode() == 0)
                shot.image.load(file);
        }
        helper.closeWriteChannel();
        if (!helper.waitForFinished(StartLimit))
            helper.kill();
        helper.waitForFinished(StartLimit);
        return shot;
    }

    static int count(const QImage &image, const QRect &area, const std::function<bool(QColor)> &wanted)
    {
        int n = 0;
        const QRect inside = area.intersected(image.rect());
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                n += wanted(image.pixelColor(x, y));
        return n;
    }

    static bool dark(QColor c) { return c.red() < 80 && c.green() < 80 && c.blue() < 80; }
    static bool darkBlue(QColor c) { return c.blue() > 140 && c.red() < 70 && c.green() < 70; }

private slots:
    void initTestCase()
    {
        if (!mDesktop.startForTest({ QStringLiteral("import") }, QStringLiteral("1600x1200x24")))
            return;
        mImport = QStandardPaths::findExecutable(QStringLiteral("import"));
        mDisplay = mDesktop.display();
    }

    void window_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<int>("scale");
        QTest::newRow("design size") << QStringList{} << 1;
        QTest::newRow("scale factor 2") << QStringList{QStringLiteral("QT_SCALE_FACTOR=2")} << 2;
        QTest::newRow("192 dots per inch") << QStringList{QStringLiteral("QT_FONT_DPI=192")} << 2;
    }

    void window()
    {
        QFETCH(QStringList, environment);
        QFETCH(int, scale);

        const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + QLatin1Char('/') + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'))
                             + QStringLiteral(".png");
        const Shot shot = photograph(environment, file);
        QVERIFY2(!shot.image.isNull(), "no screenshot");

        // The window at its smallest size (there is no window manager to add a frame),
        // scaled as a whole with the density.
        const QRect window = shot.where.value(QStringLiteral("window"));
        QVERIFY(shot.image.rect().contains(window));
        QVERIFY2(qAbs(window.width() - 521 * scale) <= scale && qAbs(window.height() - 400 * scale) <= scale,
                 qPrintable(QStringLiteral("window %1 x %2").arg(window.width()).arg(window.height())));
        // The screen around it is black; the window itself is painted all over.
        QVERIFY(count(shot.image, window, [](QColor c) { return c == Qt::black; }) < window.width() * window.height() / 100);

        const QStringList elements{QStringLiteral("Frame1"), QStringLiteral("lblLocal"), QStringLiteral("Frame2"),
                                   QStringLiteral("lblUniversal"), QStringLiteral("ListView1"), QStringLiteral("header"),
                                   QStringLiteral("cmdNew"), QStringLiteral("cmdEdit"), QStringLiteral("cmdDelete"),
                                   QStringLiteral("cmdTest"), QStringLiteral("StatusBar1"), QStringLiteral("ProgressBar1")};
        for (const QString &name : elements) {
            const QRect r = shot.where.value(name);
            QVERIFY2(!r.isEmpty() && window.contains(r), qPrintable(name));
        }
        // Text where there is text: the clocks, the captions, the header, the rows, the
        // buttons (greyed while busy) and the status bar.
        const auto text = [&](const QString &name, const std::function<bool(QColor)> &ink, int least) {
            const int n = count(shot.image, shot.where.value(name), ink);
            QVERIFY2(n >= least * scale * scale, qPrintable(QStringLiteral("%1: %2 pixels of ink").arg(name).arg(n)));
        };
        text(QStringLiteral("lblLocal"), dark, 150);
        text(QStringLiteral("lblUniversal"), darkBlue, 150);
        text(QStringLiteral("Frame1"), dark, 200);  // its caption and clock
        text(QStringLiteral("Frame2"), darkBlue, 200);
        text(QStringLiteral("StatusBar1"), dark, 40);
        const auto grey = [](QColor c) { return c.value() < 190 && c.saturation() < 40; };
        text(QStringLiteral("header"), grey, 40);
        text(QStringLiteral("ListView1"), grey, 100);
        for (const char *button : {"cmdNew", "cmdEdit", "cmdDelete", "cmdTest"})
            text(QString::fromLatin1(button), grey, 20);
        // The clocks are the largest type in the window: their ink is taller than a row.
        const QRect clock = shot.where.value(QStringLiteral("lblLocal"));
        int top = clock.bottom();
        int bottom = clock.top();
        for (int y = clock.top(); y <= clock.bottom(); ++y) {
            if (count(shot.image, QRect(clock.left(), y, clock.width(), 1), dark) > 0) {
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
        QVERIFY(bottom - top >= 16 * scale);
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestFrmHostsScreenshot)
#include "tst_frmhosts_screenshot.moc"
