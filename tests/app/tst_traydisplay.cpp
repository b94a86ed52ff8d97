#include "app/TrayDisplay.h"
#include "state/ProgramState.h"
#include "TestMain.h"

#include <QLocale>
#include <QTest>

// The tray's once-a-second decision: tray state and blink phase to picture, tool tip and
// the next phase.
class TestTrayDisplay : public QObject
{
    Q_OBJECT

    static Date at(int year, int month, int day, int hour, int minute, int second = 0)
    {
        return DateTime::fromParts(QDate(year, month, day), QTime(hour, minute, second));
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::system()); }

    void tick_data()
    {
        QTest::addColumn<qint16>("alert");
        QTest::addColumn<int>("showing");
        QTest::addColumn<int>("picture");
        QTest::addColumn<int>("nextShowing");
        QTest::addColumn<QString>("toolTip");

        const QString paused = QStringLiteral("Time synchronization is paused");
        const QString synchronized = QStringLiteral("Synchronized on 3/7/26 at 05:34 PM");
        const QString tooFar = QStringLiteral("Time is off by more than 30 minutes - adjust manually");
        const QString error = QStringLiteral("Error (1) when time received from server");
        const QString looking = QStringLiteral("Looking for a time server...");
        QTest::newRow("paused, phase 0") << TrayAlert::Paused << 0 << 4 << 1 << paused;
        QTest::newRow("paused, phase 1") << TrayAlert::Paused << 1 << 6 << 0 << paused;
        QTest::newRow("paused, any other phase") << TrayAlert::Paused << 7 << 6 << 0 << paused;
        QTest::newRow("synchronized, phase 0") << TrayAlert::Synchronized << 0 << 1 << 0 << synchronized;
        QTest::newRow("synchronized, phase 1") << TrayAlert::Synchronized << 1 << 1 << 0 << synchronized;
        QTest::newRow("too far off, phase 0") << TrayAlert::TooFarOff << 0 << 2 << 1 << tooFar;
        QTest::newRow("too far off, phase 1") << TrayAlert::TooFarOff << 1 << 6 << 0 << tooFar;
        QTest::newRow("error, phase 0") << TrayAlert::Failed << 0 << 3 << 1 << error;
        QTest::newRow("error, phase 1") << TrayAlert::Failed << 1 << 6 << 0 << error;
        QTest::newRow("looking, phase 0") << TrayAlert::Looking << 0 << 5 << 1 << looking;
        QTest::newRow("looking, phase 1") << TrayAlert::Looking << 1 << 5 << 0 << looking;
    }

    void tick()
    {
        QFETCH(qint16, alert);
        QFETCH(int, showing);
        QFETCH(int, picture);
        QFETCH(int, nextShowing);
        QFETCH(QString, toolTip);
        const auto result = TrayDisplay::trayTick(alert, qint16(showing),
                                                  QStringLiteral("Error (1) when time received from server"),
                                                  at(2026, 3, 7, 17, 34, 59));
        QVERIFY(result);
        QCOMPARE(result->picture, picture);
        QCOMPARE(result->trayAlertShowing, qint16(nextShowing));
        QCOMPARE(result->toolTip, toolTip);
    }

    void unknownStateChangesNothing_data()
    {
        QTest::addColumn<int>("alert");
        QTest::newRow("-2") << -2;
        QTest::newRow("4") << 4;
        QTest::newRow("32767") << 32767;
    }

    void unknownStateChangesNothing()
    {
        QFETCH(int, alert);
        QVERIFY(!TrayDisplay::trayTick(qint16(alert), 0, QString(), 0));
    }

    void blinkingStatesAlternateSecondBySecond()
    {
        // Followed through the phases it writes itself, as the tick does.
        qint16 showing = 0;
        QList<int> pictures;
        for (int second = 0; second < 4; ++second) {
            const auto result = TrayDisplay::trayTick(TrayAlert::TooFarOff, showing, QString(), 0);
            pictures << result->picture;
            showing = result->trayAlertShowing;
        }
        QCOMPARE(pictures, QList<int>({ 2, 6, 2, 6 }));
    }

    void errorToolTipIsCut_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("shown");
        QTest::newRow("empty") << 0 << 0;
        QTest::newRow("62") << 62 << 62;
        QTest::newRow("63 shows whole") << 63 << 63;
        QTest::newRow("64 is cut") << 64 << 63;
        QTest::newRow("300 is cut") << 300 << 63;
    }

    void errorToolTipIsCut()
    {
        QFETCH(int, length);
        QFETCH(int, shown);
        QString message;
        for (int i = 0; i < length; ++i)
            message += QChar(u'a' + i % 26);
        const auto result = TrayDisplay::trayTick(TrayAlert::Failed, 0, message, 0);
        QCOMPARE(result->toolTip, message.left(shown));
    }

    void synchronizedToolTip_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<Date>("when");
        QTest::addColumn<QString>("toolTip");
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        QTest::newRow("afternoon") << us << at(2026, 12, 10, 13, 5) << QStringLiteral("Synchronized on 12/10/26 at 01:05 PM");
        QTest::newRow("midnight") << us << at(2026, 1, 2, 0, 0) << QStringLiteral("Synchronized on 1/2/26 at 12:00 AM");
        QTest::newRow("noon") << us << at(2026, 1, 2, 12, 0) << QStringLiteral("Synchronized on 1/2/26 at 12:00 PM");
        // The date in the user's own form, the time on the 12-hour clock all the same.
        QTest::newRow("German") << german << at(2026, 12, 10, 23, 59, 59) << QStringLiteral("Synchronized on 10.12.26 at 11:59 PM");
    }

    void synchronizedToolTip()
    {
        QFETCH(QLocale, locale);
        QFETCH(Date, when);
        QFETCH(QString, toolTip);
        QLocale::setDefault(locale);
        const QString shown = TrayDisplay::trayTick(TrayAlert::Synchronized, 0, QString(), when)->toolTip;
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(shown, toolTip);
    }

    // The text is kept from tick to tick, and follows every change of the date it names,
    // whatever states come between.
    void synchronizedToolTipFollowsTheDate()
    {
        TrayDisplay::SynchronizedToolTip kept;
        const Date first = at(2026, 12, 10, 13, 5);
        const Date second = at(2026, 12, 10, 13, 6);
        const auto shown = [&kept](qint16 alert, Date when) {
            return TrayDisplay::trayTick(alert, 0, QStringLiteral("Error"), when, kept)->toolTip;
        };
        const QString atFirst = QStringLiteral("Synchronized on 12/10/26 at 01:05 PM");
        QCOMPARE(shown(TrayAlert::Synchronized, first), atFirst);
        QCOMPARE(shown(TrayAlert::Synchronized, first), atFirst);
        QCOMPARE(shown(TrayAlert::Looking, first), QStringLiteral("Looking for a time server..."));
        QCOMPARE(shown(TrayAlert::Synchronized, second), QStringLiteral("Synchronized on 12/10/26 at 01:06 PM"));
        QCOMPARE(shown(TrayAlert::Failed, second), QStringLiteral("Error"));
        QCOMPARE(shown(TrayAlert::Synchronized, first), atFirst);
    }

    void iconIndex_data()
    {
        QTest::addColumn<int>("picture");
        QTest::addColumn<bool>("osKnown");
        QTest::addColumn<QString>("os");
        QTest::addColumn<int>("index");
        const QString debian = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
        QTest::newRow("plain set, first") << 1 << true << debian << 1;
        QTest::newRow("plain set, last") << 6 << true << debian << 6;
        QTest::newRow("XP") << 1 << true << QStringLiteral("Microsoft Windows XP") << 7;
        QTest::newRow("xp in lower case") << 6 << true << QStringLiteral("windows xp professional") << 12;
        QTest::newRow("Xp mixed") << 3 << true << QStringLiteral("WinXp") << 9;
        QTest::newRow("name unknown") << 2 << false << QStringLiteral("XP") << 2;
        QTest::newRow("0") << 0 << true << debian << 12;
        QTest::newRow("-3") << -3 << true << debian << 12;
        QTest::newRow("13") << 13 << true << debian << 12;
        QTest::newRow("7 on XP") << 7 << true << QStringLiteral("XP") << 12;
        QTest::newRow("-5 on XP is 1") << -5 << true << QStringLiteral("XP") << 1;
    }

    void iconIndex()
    {
        QFETCH(int, picture);
        QFETCH(bool, osKnown);
        QFETCH(QString, os);
        QFETCH(int, index);
        QCOMPARE(TrayDisplay::iconIndex(picture, osKnown, os), index);
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestTrayDisplay)
#include "tst_traydisplay.moc"
