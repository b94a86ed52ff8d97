#include "platform/SingleInstance.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>

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

    void unusableLockPathIsNotAnotherCopy()
    {
        SingleInstance lock(QStringLiteral("/nonexistent-folder-of-brindlecot/Brindlecot.lock"));
        QVERIFY(!lock.tryAcquire());
        QCOMPARE(lock.error(), ENOENT);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
