#include "ui/HostRows.h"

#include "servers/clsHost.h"
#include "TestMain.h"

#include <QLocale>
#include <QTest>

using HostRows::RowState;

namespace {

const Date RowsNow = DateTime::fromParts(QDate(2004, 1, 6), QTime(13, 41, 17));

clsHost record(Date polled, qint32 error)
{
    clsHost host;
    host.setHostPollDate(polled);
    host.setHostSynchError(error);
    return host;
}

} // namespace

// What a row of the Time Servers window shows for a server's record.
class TestHostRows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::system()); }

    // The record's status, as the window shows it before and after an attempt by hand.
    void status_data()
    {
        QTest::addColumn<qint16>("status");
        QTest::addColumn<RowState>("state");
        QTest::addColumn<int>("image");
        QTest::addColumn<QString>("words");
        const QString notTried = QStringLiteral("Not tried since it was added or edited");
        QTest::newRow("untried") << HostStatus::Untried << RowState::NotTried << 1 << notTried;
        QTest::newRow("succeeded") << HostStatus::Succeeded << RowState::Succeeded << 2
                                   << QStringLiteral("The last attempt succeeded");
        QTest::newRow("failed") << HostStatus::Failed << RowState::Failed << 3
                                << QStringLiteral("The last attempt by hand failed");
        // Whatever else a data file holds shows as not tried.
        QTest::newRow("2") << qint16(2) << RowState::NotTried << 1 << notTried;
        QTest::newRow("-2") << qint16(-2) << RowState::NotTried << 1 << notTried;
        QTest::newRow("32767") << qint16(32767) << RowState::NotTried << 1 << notTried;
    }

    void status()
    {
        QFETCH(qint16, status);
        QFETCH(RowState, state);
        QFETCH(int, image);
        QFETCH(QString, words);
        QCOMPARE(HostRows::stateOfStatus(status), state);
        QCOMPARE(HostRows::imageOf(state), image);
        QCOMPARE(HostRows::describeState(state, false), words);
        QCOMPARE(HostRows::describeState(state, true),
                 words + QStringLiteral(". Gave a time 30 minutes or more away from this computer's; not believed"));
    }

    void askingShowsTheNotTriedImage()
    {
        QCOMPARE(HostRows::imageOf(RowState::Asking), 1);
        QCOMPARE(HostRows::describeState(RowState::Asking, false), QStringLiteral("Being asked for the time now"));
    }

    void checkBox_data()
    {
        QTest::addColumn<qint16>("active");
        QTest::addColumn<bool>("checked");
        QTest::newRow("1") << qint16(1) << true;
        QTest::newRow("0") << qint16(0) << false;
        QTest::newRow("-1") << qint16(-1) << false;
        QTest::newRow("2") << qint16(2) << false;
    }

    void checkBox()
    {
        QFETCH(qint16, active);
        QFETCH(bool, checked);
        clsHost host;
        host.setHostActive(active);
        QCOMPARE(HostRows::isChecked(host), checked);
    }

    // The texts of the last synchronization and its correction, and what a screen reader
    // says for them.
    void resultCells_data()
    {
        QTest::addColumn<double>("polled");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("lastSynchronization");
        QTest::addColumn<QString>("correction");
        const Date earlierToday = DateTime::fromParts(QDate(2004, 1, 6), QTime(9, 5, 0));
        const QString today = QStringLiteral("Today at 09:05 AM");
        QTest::newRow("never") << DateTime::Never << 0 << QString() << QString();
        QTest::newRow("no correction") << earlierToday << 0 << today << QStringLiteral("None");
        QTest::newRow("1 second") << earlierToday << 1 << today << QStringLiteral("1 second");
        QTest::newRow("95 seconds") << earlierToday << 95 << today << QStringLiteral("2 minutes");
        QTest::newRow("yesterday") << DateTime::fromParts(QDate(2004, 1, 5), QTime(21, 30, 0)) << 3
                                   << QStringLiteral("Yesterday at 09:30 PM") << QStringLiteral("3 seconds");
        QTest::newRow("a correction without a date") << DateTime::Never << 7 << QString() << QStringLiteral("7 seconds");
    }

    void resultCells()
    {
        QFETCH(double, polled);
        QFETCH(int, error);
        QFETCH(QString, lastSynchronization);
        QFETCH(QString, correction);
        // An empty expectation is the blank cell.
        const auto expected = [](const QString &words) {
            return words.isEmpty() ? HostRows::Cell{QStringLiteral(" "), QStringLiteral("Not synchronized yet")}
                                   : HostRows::Cell{words, words};
        };
        const clsHost host = record(polled, error);
        const HostRows::Cell last = HostRows::lastSynchronizationCell(host, RowsNow);
        const HostRows::Cell fix = HostRows::correctionCell(host);
        QCOMPARE(last.shown, expected(lastSynchronization).shown);
        QCOMPARE(last.spoken, expected(lastSynchronization).spoken);
        QCOMPARE(fix.shown, expected(correction).shown);
        QCOMPARE(fix.spoken, expected(correction).spoken);
    }

    void serverCell()
    {
        // Shown after a blank, spoken as typed, markup and all.
        const HostRows::Cell cell = HostRows::serverCell(QStringLiteral("<b>x</b>"));
        QCOMPARE(cell.shown, QStringLiteral(" <b>x</b>"));
        QCOMPARE(cell.spoken, QStringLiteral("<b>x</b>"));
    }

    void order_data()
    {
        QTest::addColumn<QString>("mine");
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<bool>("before");
        QTest::newRow("letter case aside") << "a.example" << "B.example" << true;
        QTest::newRow("letter case aside, reversed") << "B.example" << "a.example" << false;
        QTest::newRow("same but for case: capital first") << "A.example" << "a.example" << true;
        QTest::newRow("same but for case, reversed") << "a.example" << "A.example" << false;
        QTest::newRow("the same") << "a.example" << "a.example" << false;
        QTest::newRow("a prefix first") << "a" << "a.example" << true;
    }

    void order()
    {
        QFETCH(QString, mine);
        QFETCH(QString, theirs);
        QFETCH(bool, before);
        QCOMPARE(HostRows::listsBefore(mine, theirs), before);
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestHostRows)
#include "tst_hostrows.moc"
