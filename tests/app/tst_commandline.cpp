#include "BuildInfo.h"

#include <QProcess>
#include <QtTest>

// The real executable's command line. It runs without the clock privilege whatever it is
// told; every case ends before the program would start its work.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void arguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // expected at the start of standard output
        QTest::addColumn<QString>("err"); // expected, whole, on standard error

        QTest::newRow("--help") << QStringList { "--help" } << 0 << "Usage: " << "";
        QTest::newRow("-h") << QStringList { "-h" } << 0 << "Usage: " << "";
        QTest::newRow("--version") << QStringList { "--version" } << 0 << QStringLiteral("brindlecot %1\nLicense GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n").arg(QLatin1String(BuildInfo::Version)) << "";
        QTest::newRow("unknown option") << QStringList { "--frobnicate" } << 2 << ""
                                        << "brindlecot: Unknown option 'frobnicate'.\n";
        QTest::newRow("Qt's own option") << QStringList { "-platform", "offscreen" } << 2 << ""
                                         << "brindlecot: Unknown option 'platform'.\n";
        QTest::newRow("word") << QStringList { "now" } << 2 << "" << "brindlecot: unexpected argument 'now'\n";
        QTest::newRow("help and a word") << QStringList { "--help", "now" } << 2 << ""
                                         << "brindlecot: unexpected argument 'now'\n";
    }

    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);

        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        // An argument that slipped through would start the program: keep it off the real
        // data folder.
        QTemporaryDir home;
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral("setpriv"),
                      QStringList { "--inh-caps", "-sys_time", "--bounding-set", "-sys_time", "--",
                                    QStringLiteral(BRINDLECOT_EXECUTABLE) }
                          + arguments);
        QVERIFY(process.waitForStarted(5000));
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(1000);
            QFAIL("the program did not end at once");
        }
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        const QString stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        if (out.isEmpty())
            QCOMPARE(stdOut, QString());
        else
            QVERIFY2(stdOut.startsWith(out), qPrintable(stdOut));
        QCOMPARE(QString::fromLocal8Bit(process.readAllStandardError()), err);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
