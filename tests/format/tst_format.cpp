#include "format/Format.h"

#include <QProcess>
#include <QTest>

#include <limits>

namespace {
constexpr char PrintShortDate[] = "BRINDLECOT_PRINT_SHORT_DATE";
} // namespace

class TestFormat : public QObject
{
    Q_OBJECT

private slots:
    void relativeDate_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("expected");

        // "Today" is a Tuesday, 2004-01-06, at 13:41:17; the locale is fixed to de_DE.
        QTest::newRow("long ago") << QDate(1999, 12, 31) << QTime(12, 0) << "31.12.99";
        QTest::newRow("two days ago: short date, not a weekday") << QDate(2004, 1, 4) << QTime(12, 0) << "04.01.04";
        QTest::newRow("yesterday, first second") << QDate(2004, 1, 5) << QTime(0, 0) << "Yesterday";
        QTest::newRow("yesterday, last second") << QDate(2004, 1, 5) << QTime(23, 59, 59) << "Yesterday";
        QTest::newRow("today, midnight") << QDate(2004, 1, 6) << QTime(0, 0) << "Today";
        QTest::newRow("today, later than now") << QDate(2004, 1, 6) << QTime(23, 59, 59) << "Today";
        QTest::newRow("tomorrow") << QDate(2004, 1, 7) << QTime(0, 0) << "Tomorrow";
        QTest::newRow("two days ahead") << QDate(2004, 1, 8) << QTime(9, 0) << "Thursday";
        QTest::newRow("five days ahead, across the weekend") << QDate(2004, 1, 11) << QTime(9, 0) << "Sunday";
        QTest::newRow("six days ahead") << QDate(2004, 1, 12) << QTime(9, 0) << "Monday";
        QTest::newRow("seven days ahead names today's weekday") << QDate(2004, 1, 13) << QTime(23, 59, 59) << "Tuesday";
        QTest::newRow("eight days ahead") << QDate(2004, 1, 14) << QTime(0, 0) << "14.01.04";
        QTest::newRow("before the epoch") << QDate(1899, 12, 29) << QTime(6, 0) << "29.12.99";
    }

    void relativeDate()
    {
        QFETCH(QDate, day);
        QFETCH(QTime, time);
        QFETCH(QString, expected);

        const Date now = DateTime::fromParts(QDate(2004, 1, 6), QTime(13, 41, 17));
        const QLocale german(QLocale::German, QLocale::Germany);
        QCOMPARE(FormatRelativeDate(DateTime::fromParts(day, time), now, german), expected);
    }

    void relativeDateAcrossMonthAndYear()
    {
        // Day counts, not day-of-month differences: New Year's Eve seen from 1 January.
        const QLocale german(QLocale::German, QLocale::Germany);
        const Date newYear = DateTime::fromParts(QDate(2005, 1, 1), QTime(0, 0, 5));
        QCOMPARE(FormatRelativeDate(DateTime::fromParts(QDate(2004, 12, 31), QTime(23, 59)), newYear, german),
                 QStringLiteral("Yesterday"));
        QCOMPARE(FormatRelativeDate(DateTime::fromParts(QDate(2005, 1, 8), QTime(0, 0)), newYear, german),
                 QStringLiteral("Saturday"));
        QCOMPARE(FormatRelativeDate(DateTime::fromParts(QDate(2004, 1, 1), QTime(0, 0)), newYear, german),
                 QStringLiteral("01.01.04"));
    }

    void shortDateFollowsTheLocale()
    {
        const Date now = DateTime::fromParts(QDate(2004, 1, 6), QTime(13, 41, 17));
        const Date old = DateTime::fromParts(QDate(2003, 11, 2), QTime(8, 0));

        QCOMPARE(FormatRelativeDate(old, now, QLocale(QLocale::English, QLocale::UnitedStates)),
                 QStringLiteral("11/2/03"));
        // Without regional settings of its own the date is numeric and unambiguous.
        QCOMPARE(FormatRelativeDate(old, now, QLocale::c()), QStringLiteral("2003-11-02"));
        // The two-argument form uses the system's settings.
        const QLocale system = QLocale::system();
        QCOMPARE(FormatRelativeDate(old, now), FormatRelativeDate(old, now, system));
        QCOMPARE(FormatRelativeDate(now, now), QStringLiteral("Today"));
        // Weekday names stay English whatever the locale.
        QCOMPARE(FormatRelativeDate(now + 2, now, QLocale(QLocale::French, QLocale::France)),
                 QStringLiteral("Thursday"));
    }

    void shortDateFollowsTheDateCategory_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("expected");
        QTest::newRow("German messages, C dates") << u"de_DE.UTF-8"_qs << u"C"_qs << u"2003-11-02"_qs;
        QTest::newRow("C messages, German dates") << u"C"_qs << u"de_DE.UTF-8"_qs << u"02.11.03"_qs;
        QTest::newRow("German throughout") << u"de_DE.UTF-8"_qs << QString() << u"02.11.03"_qs;
        QTest::newRow("C throughout") << u"C"_qs << QString() << u"2003-11-02"_qs;
    }

    void shortDateFollowsTheDateCategory()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows has one regional format for the account, read from its settings rather "
              "than from LANG and LC_TIME: shortDateFollowsTheLocale covers it");
#endif
        // The system locale is read once per process: ask a fresh copy of this program.
        QFETCH(QString, lang);
        QFETCH(QString, time);
        QFETCH(QString, expected);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "LC_ALL", "LC_TIME", "LC_MESSAGES", "LANGUAGE" })
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("LANG"), lang);
        if (!time.isEmpty())
            env.insert(QStringLiteral("LC_TIME"), time);
        env.insert(QString::fromLatin1(PrintShortDate), QStringLiteral("1"));
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()).trimmed(), expected);
    }

    void relativeDateOfNoDay()
    {
        const Date now = DateTime::fromParts(QDate(2004, 1, 6), QTime(13, 41, 17));
        const double bad[] = { std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 1e300 };
        for (double d : bad)
            QCOMPARE(FormatRelativeDate(d, now), QString());
    }

    void duration_data()
    {
        QTest::addColumn<qint32>("seconds");
        QTest::addColumn<QString>("expected");

        QTest::newRow("0") << 0 << "0 second";
        QTest::newRow("1") << 1 << "1 second";
        QTest::newRow("2") << 2 << "2 seconds";
        QTest::newRow("59") << 59 << "59 seconds";
        QTest::newRow("60") << 60 << "1 minute";
        QTest::newRow("89") << 89 << "1 minute";
        QTest::newRow("90 ties up to even") << 90 << "2 minutes";
        QTest::newRow("149") << 149 << "2 minutes";
        QTest::newRow("150 ties down to even") << 150 << "2 minutes";
        QTest::newRow("151") << 151 << "3 minutes";
        QTest::newRow("210 ties up to even") << 210 << "4 minutes";
        QTest::newRow("3600") << 3600 << "60 minutes";
        QTest::newRow("largest Long") << std::numeric_limits<qint32>::max() << "35791394 minutes";
        QTest::newRow("negative stays in seconds") << -5 << "-5 second";
    }

    void duration()
    {
        QFETCH(qint32, seconds);
        QFETCH(QString, expected);
        QCOMPARE(FormatDuration(seconds), expected);
    }

    void offset_data()
    {
        QTest::addColumn<qint32>("minutes");
        QTest::addColumn<QString>("expected");

        QTest::newRow("0") << 0 << "+00:00";
        QTest::newRow("5") << 5 << "+00:05";
        QTest::newRow("-5") << -5 << "-00:05";
        QTest::newRow("59") << 59 << "+00:59";
        QTest::newRow("60") << 60 << "+01:00";
        QTest::newRow("300") << 300 << "+05:00";
        QTest::newRow("-330") << -330 << "-05:30";
        QTest::newRow("600") << 600 << "+10:00";
        QTest::newRow("6000") << 6000 << "+100:00";
        QTest::newRow("largest Long") << std::numeric_limits<qint32>::max() << "+35791394:07";
        QTest::newRow("smallest Long plus one") << std::numeric_limits<qint32>::min() + 1 << "-35791394:07";
        QTest::newRow("smallest Long cannot be negated") << std::numeric_limits<qint32>::min() << "";
    }

    void offset()
    {
        QFETCH(qint32, minutes);
        QFETCH(QString, expected);
        QCOMPARE(FormatOffset(minutes), expected);
    }
};

// With PrintShortDate set, the program prints one short date in the system's settings
// and ends, for shortDateFollowsTheDateCategory.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(PrintShortDate)) {
        const Date now = DateTime::fromParts(QDate(2004, 1, 6), QTime(13, 41, 17));
        QTextStream(stdout) << FormatRelativeDate(DateTime::fromParts(QDate(2003, 11, 2), QTime(8, 0)), now) << "\n";
        return 0;
    }
    TestFormat test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_format.moc"
