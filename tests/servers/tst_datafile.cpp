#include "platform/DataFolder.h"
#include "servers/DataFile.h"
#include "servers/DefaultServers.h"
#include "platform/SingleInstance.h"

#include "LittleEndianBytes.h"
#include "TestState.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <optional>
#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using namespace LittleEndianBytes;

constexpr uint NoFile = 0; // in the modes table: nothing there before

#ifndef Q_OS_WIN
// The permission bits of what is at the path (not followed); -1 for none.
int modeOf(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}
#endif

// The fields before the host block; declaredLength may disagree with the path's bytes.
QByteArray header(qint16 version, qint32 interval, qint16 flag = 0, const QByteArray &path = {},
                  std::optional<qint32> declaredLength = {})
{
    return int16(version) + QByteArray(8, '\0') + int16(flag) + int32(declaredLength.value_or(qint32(path.size())))
        + path + int32(interval);
}

QByteArray serverRecord(const QByteArray &path)
{
    return int16(0) + int16(qint16(path.size())) + path + int16(1) + int16(0) + QByteArray(8, '\0') + int32(0);
}

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(FIXTURES_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return file.readAll();
}

QStringList loadedPathsAndActive(const clsHosts &hosts)
{
    QStringList result;
    for (const auto &host : hosts.mItems)
        result << host->HostPath() + QLatin1Char(':') + QString::number(host->HostActive());
    return result;
}

// A program whose data folder is a fresh temporary folder.
struct Program : TestState {
    void writeFile(const QByteArray &bytes) const
    {
        QFile file(dataFile());
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(dataFile()));
    }

    QByteArray readFile() const
    {
        QFile file(dataFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("no file");
    }
};

} // namespace

class TestDataFile : public QObject
{
    Q_OBJECT

private slots:
    void savesDocumentedLayout_data()
    {
        QTest::addColumn<qint32>("intervalCode");
        QTest::addColumn<QStringList>("servers");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("no servers, Day: 26 bytes")
            << 3 << QStringList {} << hex("0700 0000000000000000 0000 00000000 03000000  0200 00000000");
        QTest::newRow("no servers, Minute")
            << 1 << QStringList {} << hex("0700 0000000000000000 0000 00000000 01000000  0200 00000000");
        QTest::newRow("one server ab, Day: 48 bytes")
            << 3 << QStringList { "ab" }
            << hex("0700 0000000000000000 0000 00000000 03000000  0200 01000000"
                   "0000 0200 6162 0100 0000 0000000000000000 00000000");
    }

    void savesDocumentedLayout()
    {
        QFETCH(qint32, intervalCode);
        QFETCH(QStringList, servers);
        QFETCH(QByteArray, bytes);

        Program program;
        program.state.Interval.applyCode(intervalCode);
        for (const QString &path : servers)
            program.addHost(path);
        QVERIFY(SaveDataFile(program.state));
        QCOMPARE(program.readFile().toHex(' '), bytes.toHex(' '));
    }

    void fixturesLoadAndSaveUnchanged_data()
    {
        QTest::addColumn<QString>("fixtureName");
        QTest::addColumn<qint32>("intervalCode");
        QTest::addColumn<QStringList>("servers"); // path:active

        QTest::newRow("empty") << "empty.dat" << 3 << QStringList {};
        QTest::newRow("one server") << "one_server.dat" << 3 << QStringList { "ab:1" };
        QTest::newRow("three servers, all fields used")
            << "servers.dat" << 2
            << QStringList { "time.example.org:1", u"café€\u0081.example:0"_qs, "192.168.1.1:1" };
    }

    void fixturesLoadAndSaveUnchanged()
    {
        QFETCH(QString, fixtureName);
        QFETCH(qint32, intervalCode);
        QFETCH(QStringList, servers);

        Program program;
        const QByteArray bytes = fixture(fixtureName);
        program.writeFile(bytes);
        program.state.Interval.applyCode(intervalCode == 1 ? 2 : 1);

        QVERIFY(DataFileIsValid(program.dataFile()));
        QVERIFY(LoadDataFile(program.state));
        QCOMPARE(program.state.Interval.code(), intervalCode);
        QCOMPARE(loadedPathsAndActive(program.state.Hosts), servers);

        QFile::remove(program.dataFile());
        QVERIFY(SaveDataFile(program.state));
        QCOMPARE(program.readFile().toHex(' '), bytes.toHex(' '));
    }

    void version6ReadsLikeVersion7()
    {
        Program program;
        QByteArray bytes = fixture("servers.dat");
        bytes[0] = 6;
        program.writeFile(bytes);

        QVERIFY(LoadDataFile(program.state));
        QVERIFY(SaveDataFile(program.state));
        QCOMPARE(program.readFile().toHex(' '), fixture("servers.dat").toHex(' '));
    }

    void legacyFiles_data()
    {
        QTest::addColumn<qint16>("version");
        QTest::addColumn<qint16>("flag");
        QTest::addColumn<QByteArray>("legacyPath");
        QTest::addColumn<QString>("activeDefaults"); // "all", "none", or the one default left active
        QTest::addColumn<QString>("appended");       // path:active, or empty
        QTest::addColumn<QString>("fixtureName");    // a stored file of these contents, or empty

        const QString third = defaultServerNames().at(2);
        QTest::newRow("exclusive own server") << qint16(5) << qint16(1) << QByteArray("clock.example.net") << "none"
                                              << "clock.example.net:1" << "legacy_v5.dat";
        QTest::newRow("own server beside the defaults")
            << qint16(5) << qint16(0) << QByteArray("clock.example.net") << "all" << "clock.example.net:0" << "";
        QTest::newRow("exclusive default") << qint16(5) << qint16(1) << third.toLatin1() << third << "" << "";
        QTest::newRow("default not exclusive") << qint16(5) << qint16(0) << third.toLatin1() << "all" << "" << "";
        QTest::newRow("no path, flag set") << qint16(5) << qint16(1) << QByteArray() << "all" << "" << "";
        QTest::newRow("version 1, no path") << qint16(1) << qint16(0) << QByteArray() << "all" << "" << "";
        QTest::newRow("path in the code page") << qint16(4) << qint16(1) << hex("6bf8722e6e6574") << "none"
                                               << u"kør.net:1"_qs << "";
    }

    void legacyFiles()
    {
        QFETCH(qint16, version);
        QFETCH(qint16, flag);
        QFETCH(QByteArray, legacyPath);
        QFETCH(QString, activeDefaults);
        QFETCH(QString, appended);
        QFETCH(QString, fixtureName);

        Program program;
        const QByteArray bytes = header(version, 1, flag, legacyPath);
        if (!fixtureName.isEmpty())
            QCOMPARE(fixture(fixtureName).toHex(' '), bytes.toHex(' '));
        program.writeFile(bytes);
        QVERIFY(DataFileIsValid(program.dataFile()));
        QVERIFY(LoadDataFile(program.state));

        // The interval code lies after the legacy path, so Minute shows it was found.
        QCOMPARE(program.state.Interval.code(), 1);
        QStringList expected;
        for (const QString &name : defaultServerNames()) {
            const bool active = activeDefaults == "all" || activeDefaults == name;
            expected << name + (active ? ":1" : ":0");
        }
        if (!appended.isEmpty())
            expected << appended;
        QCOMPARE(loadedPathsAndActive(program.state.Hosts), expected);
    }

    void intervalCodes_data()
    {
        QTest::addColumn<qint32>("code");
        QTest::addColumn<bool>("minute");
        QTest::addColumn<bool>("hour");
        QTest::addColumn<bool>("day");

        // The program starts with Hour checked.
        QTest::newRow("1 Minute") << 1 << true << false << false;
        QTest::newRow("2 Hour") << 2 << false << true << false;
        QTest::newRow("3 Day") << 3 << false << false << true;
        QTest::newRow("0 unchanged") << 0 << false << true << false;
        QTest::newRow("4 unchanged") << 4 << false << true << false;
        QTest::newRow("-1 unchanged") << -1 << false << true << false;
    }

    void intervalCodes()
    {
        QFETCH(qint32, code);
        QFETCH(bool, minute);
        QFETCH(bool, hour);
        QFETCH(bool, day);

        Program program;
        program.state.Interval = IntervalChoice { false, true, false };
        program.writeFile(header(7, code) + hex("0200 00000000"));
        QVERIFY(LoadDataFile(program.state));
        QCOMPARE(program.state.Interval.Minute, minute);
        QCOMPARE(program.state.Interval.Hour, hour);
        QCOMPARE(program.state.Interval.Day, day);
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<qint32>("intervalCode"); // the program starts with Day, 3
        QTest::addColumn<QStringList>("servers");

        const QByteArray twoServers = serverRecord("a") + serverRecord("b");
        QByteArray longString = header(7, 1) + hex("0200 01000000 ff7f");
        longString += QByteArray(40 - longString.size(), 'x');

        QTest::newRow("empty file") << QByteArray() << false << false << 3 << QStringList {};
        QTest::newRow("version 0") << header(7, 1).replace(0, 2, int16(0)) << false << false << 3 << QStringList {};
        QTest::newRow("negative version") << hex("ffff") + header(7, 1).mid(2) << false << false << 3 << QStringList {};
        QTest::newRow("version only") << hex("0700") << true << false << 3 << QStringList {};
        QTest::newRow("legacy path length 2,000,000,000")
            << header(7, 1, 0, "ab", 2000000000) + QByteArray(20, '\0') << true << false << 3 << QStringList {};
        QTest::newRow("negative legacy path length")
            << header(7, 1, 0, "", -2) + hex("0200 00000000") << true << false << 3 << QStringList {};
        QTest::newRow("version 5, legacy path cut short: no defaults")
            << header(5, 1, 1, "clock", 20) << true << false << 3 << QStringList {};
        QTest::newRow("no host block") << header(7, 1) << true << false << 1 << QStringList {};
        QTest::newRow("string length 32767 in a 40-byte file") << longString << true << false << 1 << QStringList {};
        QTest::newRow("999 records announced, two held")
            << header(7, 1) + int16(2) + int32(999) + twoServers << true << false << 1
            << QStringList { "a:1", "b:1" };
    }

    void damagedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        QFETCH(bool, loaded);
        QFETCH(qint32, intervalCode);
        QFETCH(QStringList, servers);

        Program program;
        program.writeFile(bytes);
        QCOMPARE(DataFileIsValid(program.dataFile()), valid);
        if (valid)
            QCOMPARE(LoadDataFile(program.state), loaded);
        QCOMPARE(program.state.Interval.code(), intervalCode);
        QCOMPARE(loadedPathsAndActive(program.state.Hosts), servers);
    }

    void missingFile()
    {
        Program program;
        QVERIFY(!DataFileIsValid(program.dataFile()));
        QVERIFY(!LoadDataFile(program.state));
        QVERIFY(!DataFileIsValid(program.folder.path())); // a folder is not a file
        QCOMPARE(program.state.Hosts.count(), 0);
    }

    void saveIntoFolderThatCannotExist()
    {
        Program program;
        QFile blocker(program.folder.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        program.state.DataFolder = blocker.fileName() + "/Brindlecot/";

        CreateDataFolder(program.state); // fails quietly
        QVERIFY(!SaveDataFile(program.state));
        QVERIFY(!DataFileIsValid(program.dataFile()));
    }

    void failedSaveKeepsOldFile()
    {
#ifdef Q_OS_WIN
        QSKIP("fails the write half-way with a file-size limit (setrlimit), which Windows lacks");
#else
        // A file-size limit makes the write fail half-way, even for root. The process
        // would be killed by SIGXFSZ; ignored, the write returns an error instead.
        Program program;
        const QByteArray old = fixture("one_server.dat");
        program.writeFile(old);
        AddDefaultServers(program.state.Hosts);

        bool savedUnderLimit = true;
        {
            rlimit previous {};
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
            const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
            const auto restore = qScopeGuard([&] {
                setrlimit(RLIMIT_FSIZE, &previous);
                std::signal(SIGXFSZ, previousHandler);
            });
            rlimit small = previous;
            small.rlim_cur = 100; // bytes, less than the new file
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
            savedUnderLimit = SaveDataFile(program.state);
        }

        QVERIFY(!savedUnderLimit);
        QCOMPARE(program.readFile().toHex(' '), old.toHex(' '));
        QCOMPARE(QDir(program.folder.path()).entryList(QDir::Files), QStringList { "Brindlecot.dat" });

        // Without the limit the same save replaces the file, leaving nothing beside it.
        QVERIFY(SaveDataFile(program.state));
        QCOMPARE(QDir(program.folder.path()).entryList(QDir::Files), QStringList { "Brindlecot.dat" });
        ProgramState reloaded = program.another();
        QVERIFY(LoadDataFile(reloaded));
        QCOMPARE(reloaded.Hosts.count(), 14);
#endif
    }

    // The data folder is this account's alone, and so are the lock and the data file, however
    // the umask is set and whatever an earlier version left behind.
    void folderAndFilesArePrivate_data()
    {
        QTest::addColumn<uint>("umask");
        QTest::addColumn<uint>("folderBefore"); // NoFile: none yet
        QTest::addColumn<uint>("filesBefore");
        QTest::newRow("new, umask 000") << 000u << NoFile << NoFile;
        QTest::newRow("new, umask 022") << 022u << NoFile << NoFile;
        QTest::newRow("new, umask 077") << 077u << NoFile << NoFile;
        QTest::newRow("an earlier version's 0755 and 0644, umask 022") << 022u << 0755u << 0644u;
        QTest::newRow("0777 and 0666, umask 000") << 000u << 0777u << 0666u;
    }

    void folderAndFilesArePrivate()
    {
#ifdef Q_OS_WIN
        QSKIP("Unix modes: the Windows data folder is shared by every account on purpose, its rights set by the installer");
#else
        QFETCH(uint, umask);
        QFETCH(uint, folderBefore);
        QFETCH(uint, filesBefore);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString folder = root.filePath("data/Brindlecot/");
        const QString dataFile = folder + "Brindlecot.dat";
        const QString lockFile = folder + "Brindlecot.lock";
        const mode_t previous = ::umask(mode_t(umask));
        const auto restore = qScopeGuard([previous] { ::umask(previous); });
        if (folderBefore != NoFile) {
            QVERIFY(QDir().mkpath(folder));
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), folderBefore), 0);
            for (const QString &path : { dataFile, lockFile }) {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(fixture("one_server.dat"));
                file.close();
                QCOMPARE(::chmod(QFile::encodeName(path).constData(), filesBefore), 0);
            }
        }

        TestState rig;
        ProgramState &state = rig.state;
        state.DataFolder = folder;
        CreateDataFolder(state);
        QCOMPARE(modeOf(folder), 0700);
        QCOMPARE(modeOf(root.filePath("data")), int(0777 & ~umask)); // a parent is not the program's
        if (filesBefore != NoFile) {
            QVERIFY(LoadDataFile(state)); // reading is enough
            QCOMPARE(modeOf(dataFile), 0600);
        }
        SingleInstance oneCopy(lockFile);
        QVERIFY(oneCopy.tryAcquire());
        QCOMPARE(modeOf(lockFile), 0600);
        // The first save makes the file, the second replaces it.
        for (int save = 0; save < 2; ++save) {
            QVERIFY(SaveDataFile(state));
            QCOMPARE(modeOf(dataFile), 0600);
        }
#endif
    }

    // What is not this account's own, or not a plain file or folder, is left as it is.
    void othersFilesAndLinksAreLeftAlone()
    {
#ifdef Q_OS_WIN
        QSKIP("Unix modes, owners and links");
#else
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString folder = root.filePath("Brindlecot/");
        QVERIFY(QDir().mkpath(folder));
        // A data file reached through a link the user made keeps its target's mode; the
        // folder is reached through a link too, and neither is changed.
        const QString target = root.filePath("elsewhere.dat");
        QVERIFY(QFile::copy(QStringLiteral(FIXTURES_DIR "/one_server.dat"), target));
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0644), 0);
        QVERIFY(QFile::link(target, folder + "Brindlecot.dat"));
        QVERIFY(QFile::link(folder, root.filePath("linked")));
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        CreateDataFolder(root.filePath("linked/"));
        QCOMPARE(modeOf(folder), 0755);
        TestState rig;
        ProgramState &state = rig.state;
        state.DataFolder = folder;
        QVERIFY(LoadDataFile(state)); // the link is still followed for reading
        QCOMPARE(modeOf(target), 0644);

        if (::geteuid() != 0)
            QSKIP("needs root to give a file to another account");
        const QString foreign = root.filePath("foreign.dat");
        QVERIFY(QFile::copy(target, foreign));
        QCOMPARE(::chmod(QFile::encodeName(foreign).constData(), 0644), 0);
        QCOMPARE(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
        QVERIFY(QFile::remove(folder + "Brindlecot.dat"));
        QVERIFY(QFile::rename(foreign, folder + "Brindlecot.dat"));
        QVERIFY(LoadDataFile(state));
        QCOMPARE(modeOf(folder + "Brindlecot.dat"), 0644);
#endif
    }

    void dataFolderLocation()
    {
#ifdef Q_OS_WIN
        QSKIP("the Linux data folder ($XDG_DATA_HOME); the Windows one is the system's all-users folder");
#else
        QTemporaryDir root;
        const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
        const QByteArray oldHome = qgetenv("HOME");
        const bool hadXdg = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        auto restore = qScopeGuard([&] {
            if (hadXdg)
                qputenv("XDG_DATA_HOME", oldXdg);
            else
                qunsetenv("XDG_DATA_HOME");
            qputenv("HOME", oldHome);
        });

        qunsetenv("XDG_DATA_HOME");
        qputenv("HOME", QFile::encodeName(root.filePath("home")));
        QCOMPARE(defaultDataFolder(), root.filePath("home/.local/share/Brindlecot/"));

        // A folder whose parents do not exist yet is created with them, and used.
        qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath("x/y/data")));
        Program program;
        program.state.DataFolder = defaultDataFolder();
        QCOMPARE(program.state.DataFolder, root.filePath("x/y/data/Brindlecot/"));
        CreateDataFolder(program.state);
        CreateDataFolder(program.state); // again, quietly
        QVERIFY(QFileInfo(program.state.DataFolder).isDir());
        QVERIFY(SaveDataFile(program.state));
        QCOMPARE(program.dataFile(), root.filePath("x/y/data/Brindlecot/Brindlecot.dat"));
        QVERIFY(DataFileIsValid(program.dataFile()));
#endif
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestDataFile)
#include "tst_datafile.moc"
