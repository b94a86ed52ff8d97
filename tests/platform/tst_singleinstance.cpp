#include "platform/SingleInstance.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>

#ifdef Q_OS_WIN
// Windows has one data folder for every account, and no other account to lock it as.
namespace OtherAccount {
enum class Locker { Itself, Ended };
}
#else
#include "OtherAccount.h"

#include <sys/stat.h>
#include <unistd.h>
#endif

Q_DECLARE_METATYPE(OtherAccount::Locker)

namespace {

constexpr int NoHangMs = 2000; // milliseconds: what "at once" may take on a busy machine

#ifndef Q_OS_WIN
struct stat statOf(const QString &path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info;
}
#endif

// A program that waits about `seconds` and then ends, with its arguments; empty when there is none.
QStringList waitingProgram(int seconds)
{
#ifdef Q_OS_WIN
    if (QStandardPaths::findExecutable(QStringLiteral("ping")).isEmpty())
        return {};
    return { QStringLiteral("ping"), QStringLiteral("-n"), QString::number(seconds + 1), QStringLiteral("127.0.0.1") };
#else
    if (QStandardPaths::findExecutable(QStringLiteral("sleep")).isEmpty())
        return {};
    return { QStringLiteral("sleep"), QString::number(seconds) };
#endif
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondCopyWaitsForTheFirst()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Brindlecot.lock"));

        auto first = std::make_unique<SingleInstance>(path);
        QVERIFY(first->tryAcquire());
        QVERIFY(first->tryAcquire()); // asking again keeps the lock

        SingleInstance second(path);
        QVERIFY(!second.tryAcquire());
        QCOMPARE(second.error(), EWOULDBLOCK);

        first.reset();
        QVERIFY(second.tryAcquire());
        QCOMPARE(second.error(), 0);
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(QFileInfo(path).size(), qint64(0)); // nothing is written to it
    }

    void leftoverLockFileIsNoObstacle()
    {
        // What a crashed copy leaves: the file, with whatever it held, but no lock.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Brindlecot.lock"));
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("12345\n");
        stale.close();
        QVERIFY(stale.setPermissions(QFileDevice::ReadOwner)); // not even writable

        SingleInstance lock(path);
        QVERIFY(lock.tryAcquire());
    }

    void startedProgramsDoNotKeepTheLock()
    {
        // A program started while the lock is held (a browser, say) may outlive this copy;
        // it must not inherit the lock.
        QStringList waiting = waitingProgram(30);
        if (waiting.isEmpty())
            QSKIP("no program that waits");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Brindlecot.lock"));

        auto first = std::make_unique<SingleInstance>(path);
        QVERIFY(first->tryAcquire());
        QProcess child;
        const QString program = waiting.takeFirst();
        child.start(program, waiting);
        QVERIFY(child.waitForStarted(5000));
        first.reset();

        SingleInstance second(path);
        const bool acquired = second.tryAcquire();
        const bool outlived = child.state() == QProcess::Running;
        child.kill();
        child.waitForFinished(5000);
        QVERIFY(outlived); // or the test would prove nothing
        QVERIFY(acquired);
    }

    // Another account that holds the lock file open (it opened it while an earlier version
    // left it readable to all) is no copy of this account's: the lock file is replaced by a
    // new one of this account's, which later copies of this account find locked.
    void anotherAccountsLockIsNoCopy_data()
    {
        QTest::addColumn<OtherAccount::Locker>("locker");
        QTest::addColumn<qint64>("named"); // the account foreignAccount() names
#ifdef Q_OS_WIN
        QTest::newRow("held by its process") << OtherAccount::Locker::Itself << qint64(0);
#else
        QTest::newRow("held by its process") << OtherAccount::Locker::Itself << qint64(OtherAccount::Nobody);
#endif
        QTest::newRow("taken by a process that ended") << OtherAccount::Locker::Ended << SingleInstance::UnknownAccount;
    }

    void anotherAccountsLockIsNoCopy()
    {
        QFETCH(OtherAccount::Locker, locker);
        QFETCH(qint64, named);
#ifdef Q_OS_WIN
        Q_UNUSED(locker);
        Q_UNUSED(named);
        QSKIP("Linux only: on Windows every account shares the data folder and its lock");
#else
        if (const QString why = OtherAccount::unavailable(); !why.isEmpty())
            QSKIP(qPrintable(why));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Brindlecot.lock"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();
        const auto other = OtherAccount::holdSharedLock(path, OtherAccount::Nobody, locker);
        QVERIFY(other);
        const ino_t oldInode = statOf(path).st_ino;
        QVERIFY(!SingleInstance::heldElsewhere(path)); // --status: no copy runs

        SingleInstance first(path);
        QVERIFY(first.tryAcquire());
        QVERIFY(first.foreignLock());
        QCOMPARE(first.foreignAccount(), named);
        QVERIFY(statOf(path).st_ino != oldInode);
        QCOMPARE(statOf(path).st_mode & 07777, mode_t(0600));

        // This account's copy holds the new file: the next copy waits for it, and --status sees it.
        SingleInstance second(path);
        QVERIFY(!second.tryAcquire());
        QCOMPARE(second.error(), EWOULDBLOCK);
        QVERIFY(!second.foreignLock());
        QVERIFY(SingleInstance::heldElsewhere(path));
        QCOMPARE(other->process->state(), QProcess::Running); // it held on throughout
#endif
    }

    // This account's own copy in another process still counts, whatever holds it.
    void anotherProcessOfThisAccountIsACopy()
    {
#ifdef Q_OS_WIN
        QSKIP("Linux only: flock(1) holds the lock; on Windows the copy in this process's place is secondCopyWaitsForTheFirst");
#else
        if (QStandardPaths::findExecutable(QStringLiteral("flock")).isEmpty())
            QSKIP("no flock program");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Brindlecot.lock"));
        QProcess holder;
        holder.start(QStringLiteral("flock"), { QStringLiteral("--exclusive"), path, QStringLiteral("sh"), QStringLiteral("-c"),
                                                QStringLiteral("echo held; exec sleep 60") });
        QVERIFY(holder.waitForReadyRead(5000));
        SingleInstance lock(path);
        const bool acquired = lock.tryAcquire();
        const bool seen = SingleInstance::heldElsewhere(path);
        stopProcess(holder);
        QVERIFY(!acquired);
        QCOMPARE(lock.error(), EWOULDBLOCK);
        QVERIFY(!lock.foreignLock());
        QVERIFY(seen);
#endif
    }

    // What is at the lock path may be no file at all: a named pipe that nobody writes would
    // keep an ordinary open waiting for ever (sudo brindlecot --status hung), and a link may
    // lead to a locked file elsewhere. Neither is a running copy, and nothing waits.
    void aPipeOrALinkIsNoLock_data()
    {
        QTest::addColumn<bool>("pipe");
        QTest::newRow("named pipe") << true;
        QTest::newRow("symbolic link to a locked file") << false;
    }

    void aPipeOrALinkIsNoLock()
    {
        QFETCH(bool, pipe);
#ifdef Q_OS_WIN
        Q_UNUSED(pipe);
        QSKIP("Linux only: Windows has no named pipes or symbolic links that a user makes at the lock's path");
#else
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Brindlecot.lock"));
        const QString target = dir.filePath(QStringLiteral("elsewhere"));
        SingleInstance elsewhere(target);
        QVERIFY(elsewhere.tryAcquire());
        if (pipe)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        else
            QVERIFY(QFile::link(target, path));

        QElapsedTimer took;
        took.start();
        QVERIFY(!SingleInstance::heldElsewhere(path));
        SingleInstance lock(path);
        QVERIFY(!lock.tryAcquire());
        QVERIFY(lock.error() != EWOULDBLOCK); // not another copy: the program runs on
        QVERIFY2(took.elapsed() < NoHangMs, QByteArray::number(took.elapsed()));
#endif
    }

    void unusableLockPathIsNotAnotherCopy()
    {
        SingleInstance lock(QStringLiteral("/nonexistent-folder-of-brindlecot/Brindlecot.lock"));
        QVERIFY(!lock.tryAcquire());
        QCOMPARE(lock.error(), ENOENT);
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
