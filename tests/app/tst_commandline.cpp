#include "BuildInfo.h"
#include "TestProgram.h"
#include "TestMain.h"

#include <QTest>

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

        // Named as the user types it, not by the path it was started with.
        QTest::newRow("--help") << QStringList { "--help" } << 0 << "Usage: brindlecot [options]\n" << "";
        QTest::newRow("-h") << QStringList { "-h" } << 0 << "Usage: brindlecot [options]\n" << "";
        QTest::newRow("--version") << QStringList { "--version" } << 0 << QStringLiteral("brindlecot %1\nLicense GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n").arg(QLatin1String(BuildInfo::Version)) << "";
        QTest::newRow("unknown option") << QStringList { "--frobnicate" } << 2 << ""
                                        << "brindlecot: Unknown option 'frobnicate'.\n";
        QTest::newRow("Qt's own option") << QStringList { "-platform", "offscreen" } << 2 << ""
                                         << "brindlecot: Unknown option 'platform'.\n";
        QTest::newRow("word") << QStringList { "now" } << 2 << "" << "brindlecot: unexpected argument 'now'\n";
        QTest::newRow("help and a word") << QStringList { "--help", "now" } << 2 << ""
                                         << "brindlecot: unexpected argument 'now'\n";
        QTest::newRow("a command and a word") << QStringList { "--status", "now" } << 2 << ""
                                              << "brindlecot: unexpected argument 'now'\n";
        QTest::newRow("two commands") << QStringList { "--show", "--sync-now" } << 2 << ""
                                      << "brindlecot: --show and --sync-now cannot be given together\n";
        QTest::newRow("a command, no copy running") << QStringList { "--sync-now" } << 3 << ""
                                                    << "Brindlecot is not running.\n";
        QTest::newRow("an interval, no copy running") << QStringList { "--interval", "day" } << 3 << ""
                                                      << "Brindlecot is not running.\n";
        QTest::newRow("an interval as one word") << QStringList { "--interval=minute" } << 3 << ""
                                                 << "Brindlecot is not running.\n";
        QTest::newRow("an unknown interval") << QStringList { "--interval", "week" } << 2 << ""
                                             << "brindlecot: --interval takes one of minute, hour or day\n";
        QTest::newRow("an interval in capitals") << QStringList { "--interval", "Hour" } << 2 << ""
                                                 << "brindlecot: --interval takes one of minute, hour or day\n";
        QTest::newRow("two intervals") << QStringList { "--interval", "day", "--interval", "hour" } << 2 << ""
                                       << "brindlecot: --interval takes one of minute, hour or day\n";
        QTest::newRow("no interval") << QStringList { "--interval" } << 2 << ""
                                     << "brindlecot: Missing value after '--interval'.\n";
        QTest::newRow("pause and resume") << QStringList { "--pause", "--resume" } << 2 << ""
                                          << "brindlecot: --pause and --resume cannot be given together\n";
    }

    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);

        // An argument that slipped through would start the program: in the kit's home, it
        // stays off the real data folder.
        TestProgram program;
        const TestProgram::Finished run = program.run(arguments);
        QVERIFY2(run.ended, "the program did not end at once");
        QCOMPARE(run.exitCode, exitCode);
        const QString stdOut = QString::fromLocal8Bit(run.out);
        if (out.isEmpty())
            QCOMPARE(stdOut, QString());
        else
            QVERIFY2(stdOut.startsWith(out), qPrintable(stdOut));
        QCOMPARE(QString::fromLocal8Bit(run.err), err);
    }

    // --help lists every command for the running copy.
    void helpListsTheCommands()
    {
        const TestProgram::Finished help = TestProgram().run({ QStringLiteral("--help") });
        for (const char *option : { "--show", "--sync-now", "--pause", "--resume", "--interval", "--quit", "--status",
                                    "--help", "--version" })
            QVERIFY2(help.out.contains(QByteArray(" ") + option + ' '), option);
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
