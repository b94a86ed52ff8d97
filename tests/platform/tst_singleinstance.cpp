#include "platform/SingleInstance.h"

#include "OtherAccount.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(OtherAccount::Locker)

namespace {

constexpr int NoHangMs = 2000; // milliseconds: what "at once" may take on a busy machine

struct stat statOf(const QString &path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info;
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
        if (QStandardPaths::findExecutable(QStringLiteral("sleep")).isEmpty())
            QSKIP("no sleep program");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Brindlecot.lock"));

        auto first = std::make_unique<SingleInstance>(path);
        QVERIFY(first->tryAcquire());
        QProcess child;
        child.start(QStringLiteral("sleep"), { QStringLiteral("30") });
        QVERIFY(child.waitForStarted(5000));
        first.reset();

        SingleInstance second(path);
        const bool acquired = second.tryAcquire();
        child.kill();
        child.waitForFinished(5000);
        QVERIFY(acquired);
    }

    // Another account that holds the lock file open (it opened it while an earlier version
    // left it readable to all) is no copy of this account's: the lock file is replaced by a
    // new one of this account's, which later copies of this account find locked.
    void anotherAccountsLockIsNoCopy_data()
    {
        QTest::addColumn<OtherAccount::Locker>("locker");
        QTest::addColumn<qint64>("named"); // the account foreignAccount() names
        QTest::newRow("held by its process") << OtherAccount::Locker::Itself << qint64(OtherAccount::Nobody);
        QTest::newRow("taken by a process that ended") << OtherAccount::Locker::Ended << SingleInstance::UnknownAccount;
    }

    void anotherAccountsLockIsNoCopy()
    {
        QFETCH(OtherAccount::Locker, locker);
        QFETCH(qint64, named);
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
    }

    // This account's own copy in another process still counts, whatever holds it.
    void anotherProcessOfThisAccountIsACopy()
    {
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
    }

    void unusableLockPathIsNotAnotherCopy()
    {
        SingleInstance lock(QStringLiteral("/nonexistent-folder-of-brindlecot/Brindlecot.lock"));
        QVERIFY(!lock.tryAcquire());
        QCOMPARE(lock.error(), ENOENT);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
