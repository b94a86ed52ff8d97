#include "app/ClockNotice.h"
#include "platform/ClockAccess.h"
#include "platform/SystemClock.h"
#include "platform/TimeZoneBias.h"
#include "TestMain.h"

#include <QTest>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

Q_DECLARE_METATYPE(ClockGrant)

namespace {

// The longest account name Windows allows.
const QString LongestWindowsAccount = QString(20, QLatin1Char('w'));
// What the notification area's balloon keeps of a message on Windows.
constexpr qsizetype BalloonLength = 255; // characters

#ifdef Q_OS_WIN
// Takes the right to set the clock out of this process's token for good: the setting must
// then be refused whatever the program asks.
bool dropClockRight()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES removed {};
    removed.PrivilegeCount = 1;
    removed.Privileges[0].Attributes = SE_PRIVILEGE_REMOVED;
    bool done = LookupPrivilegeValueW(nullptr, SE_SYSTEMTIME_NAME, &removed.Privileges[0].Luid)
                && AdjustTokenPrivileges(token, FALSE, &removed, 0, nullptr, nullptr);
    done = done && (GetLastError() == ERROR_SUCCESS || GetLastError() == ERROR_NOT_ALL_ASSIGNED);
    CloseHandle(token);
    return done;
}
#endif

} // namespace

// Who may set the clock, and the one notice that tells an account how it may.
class TestClockAccess : public QObject
{
    Q_OBJECT

private slots:
    void noticeOnlyWhereAnAdministratorCanHelp_data()
    {
        QTest::addColumn<ClockGrant>("grant");
        QTest::addColumn<bool>("privileged");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("runnable");
        QTest::addColumn<bool>("notice");
        QTest::newRow("Linux, outside the group") << ClockGrant::HelperGroup << false << true << false << true;
        QTest::newRow("Linux, a member") << ClockGrant::HelperGroup << false << true << true << false;
        QTest::newRow("Linux, build tree") << ClockGrant::HelperGroup << false << false << false << false;
        QTest::newRow("Linux, root") << ClockGrant::HelperGroup << true << true << false << false;
        QTest::newRow("Windows, without the right") << ClockGrant::SystemRight << false << false << false << true;
        QTest::newRow("Windows, with the right") << ClockGrant::SystemRight << true << false << false << false;
    }

    void noticeOnlyWhereAnAdministratorCanHelp()
    {
        QFETCH(ClockGrant, grant);
        QFETCH(bool, privileged);
        QFETCH(bool, installed);
        QFETCH(bool, runnable);
        QFETCH(bool, notice);
        ClockAccess access { privileged, installed, runnable, QStringLiteral("alice"), grant };
        QCOMPARE(ClockNotice::applies(access), notice);
    }

    void noticeSaysHowOnThisKindOfSystem()
    {
        ClockAccess onLinux { false, true, false, QStringLiteral("alice"), ClockGrant::HelperGroup };
        QCOMPARE(ClockNotice::text(onLinux), QStringLiteral("This account may not set the computer's clock. An administrator "
                                                          "allows it with \"sudo adduser alice brindlecot\"; then log in again."));

        ClockAccess onWindows { false, false, false, QStringLiteral("alice"), ClockGrant::SystemRight };
        const QString text = ClockNotice::text(onWindows);
        QVERIFY2(text.contains(QStringLiteral("give alice the right \"Change the system time\" (Local Security Policy)")),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("start Brindlecot as administrator")), qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral("sudo")));
        onWindows.account = LongestWindowsAccount;
        QVERIFY2(ClockNotice::text(onWindows).size() <= BalloonLength, QByteArray::number(ClockNotice::text(onWindows).size()));
        onWindows.account.clear();
        QVERIFY(ClockNotice::text(onWindows).contains(QStringLiteral("give this account the right")));
    }

    void thisSystemsAccess()
    {
        const ClockAccess access = readClockAccess();
        QVERIFY(!access.account.isEmpty());
#ifdef Q_OS_WIN
        QCOMPARE(access.grant, ClockGrant::SystemRight);
        QVERIFY(!access.helperInstalled && !access.helperRunnable);
        QCOMPARE(installedClockHelper(), QString());
        wchar_t name[256] = {};
        DWORD length = 256;
        QVERIFY(GetUserNameW(name, &length));
        QCOMPARE(access.account, QString::fromWCharArray(name));
#else
        QCOMPARE(access.grant, ClockGrant::HelperGroup);
#endif
    }

    // Last: the right goes from this process's token for good. The clock is only ever asked
    // to show its own reading, and only once the right is gone, so nothing can change it.
    void withoutTheRightTheSettingIsRefused()
    {
#ifdef Q_OS_WIN
        QVERIFY(dropClockRight());
        const ClockAccess access = readClockAccess();
        if (access.privileged)
            QFAIL("the right to set the clock is still held; the clock is not asked");
        QVERIFY(ClockNotice::applies(access));
        qint32 bias = 0;
        if (!createTimeZoneBias()->read(bias))
            QSKIP("no zone to read the clock's own reading back with");
        const auto clock = createSystemClock();
        const int error = clock->setLocalDateTime(clock->now(), bias);
        QCOMPARE(error, int(ERROR_PRIVILEGE_NOT_HELD));
#else
        QSKIP("Windows only: on Linux the right is the process's capability, which no test may hold");
#endif
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestClockAccess)
#include "tst_clockaccess.moc"
