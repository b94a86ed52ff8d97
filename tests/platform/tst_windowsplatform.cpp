#include "TestState.h"
#include "app/ControlClient.h"
#include "app/ControlServer.h"
#include "app/frmMain.h"
#include "platform/ControlAccess.h"
#include "platform/DataFolder.h"
#include "platform/Desktop.h"
#include "platform/DesktopNotification.h"
#include "platform/PortHelper.h"
#include "platform/ProductName.h"
#include "platform/Registry.h"
#include "platform/TimeZoneBias.h"
#include "TestMain.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <optional>
#include <thread>

namespace {

const QString SystemVersionKey = QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
const QString ZoneKey = QStringLiteral("SYSTEM\\CurrentControlSet\\Control\\TimeZoneInformation");

// One value of a machine key, put back as it was when the object goes. Writing the
// machine's keys needs an administrator (Wine's account is one); valid() says whether the
// value could be changed at all.
class ChangedMachineValue
{
public:
    ChangedMachineValue(const QString &keyPath, const QString &name) : mName(name)
    {
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(keyPath), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &mKey) != ERROR_SUCCESS) {
            mKey = nullptr;
            return;
        }
        DWORD size = sizeof mOld;
        mHadValue = RegQueryValueExW(mKey, wide(mName), nullptr, &mOldType, mOld, &size) == ERROR_SUCCESS;
        mOldSize = size;
    }

    ~ChangedMachineValue()
    {
        if (!mKey)
            return;
        if (mHadValue)
            RegSetValueExW(mKey, wide(mName), 0, mOldType, mOld, mOldSize);
        else
            RegDeleteValueW(mKey, wide(mName));
        RegCloseKey(mKey);
    }

    ChangedMachineValue(const ChangedMachineValue &) = delete;
    ChangedMachineValue &operator=(const ChangedMachineValue &) = delete;

    bool setText(const QString &text)
    {
        return mKey
               && RegSetValueExW(mKey, wide(mName), 0, REG_SZ, reinterpret_cast<const BYTE *>(text.utf16()),
                                 DWORD((text.size() + 1) * sizeof(wchar_t)))
                      == ERROR_SUCCESS;
    }

    bool setNumber(qint32 number)
    {
        const DWORD value = DWORD(number);
        return mKey
               && RegSetValueExW(mKey, wide(mName), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value)
                      == ERROR_SUCCESS;
    }

private:
    static const wchar_t *wide(const QString &text) { return reinterpret_cast<const wchar_t *>(text.utf16()); }

    HKEY mKey = nullptr;
    QString mName;
    bool mHadValue = false;
    DWORD mOldType = REG_NONE;
    BYTE mOld[1024] = {};
    DWORD mOldSize = 0;
};

// A key of the test's own under the current user, removed with everything in it at the end.
class ScratchKey
{
public:
    ScratchKey()
    {
        mPath = QStringLiteral("Software\\Brindlecot test %1").arg(GetCurrentProcessId());
        RegCreateKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t *>(mPath.utf16()), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &mKey, nullptr);
    }
    ~ScratchKey()
    {
        if (!mKey)
            return;
        RegCloseKey(mKey);
        RegDeleteTreeW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t *>(mPath.utf16()));
    }
    ScratchKey(const ScratchKey &) = delete;
    ScratchKey &operator=(const ScratchKey &) = delete;

    bool valid() const { return mKey != nullptr; }
    QString path() const { return mPath; }
    bool set(const QString &name, DWORD type, const QByteArray &bytes)
    {
        return RegSetValueExW(mKey, reinterpret_cast<const wchar_t *>(name.utf16()), 0, type,
                              reinterpret_cast<const BYTE *>(bytes.constData()), DWORD(bytes.size()))
               == ERROR_SUCCESS;
    }

private:
    HKEY mKey = nullptr;
    QString mPath;
};

QByteArray utf16Bytes(const QString &text, bool terminated)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), (text.size() + (terminated ? 1 : 0)) * 2);
}

} // namespace

// The Windows sides of the seams that have no test of their own on both systems, against
// the real system (under Wine in a prefix of the test's own). No test sets the clock.
class TestWindowsPlatform : public QObject
{
    Q_OBJECT

private slots:
    void registryValuesReadAsText_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("text");
        const QByteArray east = QByteArray::fromHex("c4ffffff"); // -60 as a little-endian 32-bit number
        QTest::newRow("string") << int(REG_SZ) << utf16Bytes(QStringLiteral("Windows 10 Pro"), true) << true
                                << QStringLiteral("Windows 10 Pro");
        QTest::newRow("string stored without its zero")
            << int(REG_SZ) << utf16Bytes(QStringLiteral("Windows XP"), false) << true << QStringLiteral("Windows XP");
        QTest::newRow("string cut at its first zero")
            << int(REG_SZ) << utf16Bytes(QStringLiteral("XP"), true) + utf16Bytes(QStringLiteral("hidden"), true)
            << true << QStringLiteral("XP");
        QTest::newRow("number west") << int(REG_DWORD) << QByteArray::fromHex("2c010000") << true << QStringLiteral("300");
        QTest::newRow("number east, signed") << int(REG_DWORD) << east << true << QStringLiteral("-60");
        QTest::newRow("binary of four bytes") << int(REG_BINARY) << east << true << QStringLiteral("-60");
        QTest::newRow("binary of two bytes") << int(REG_BINARY) << QByteArray::fromHex("ffff") << true
                                             << QStringLiteral("65535");
        QTest::newRow("binary too long for a number") << int(REG_BINARY) << QByteArray(9, '\1') << false << QString();
        QTest::newRow("another type leaves the text") << int(REG_MULTI_SZ) << utf16Bytes(QStringLiteral("a"), true)
                                                       << true << QStringLiteral("before");
    }

    void registryValuesReadAsText()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, read);
        QFETCH(QString, text);
        ScratchKey key;
        QVERIFY(key.valid());
        QVERIFY(key.set(QStringLiteral("value"), DWORD(type), bytes));
        QString result = QStringLiteral("before");
        QCOMPARE(ReadRegistryValue(HKEY_CURRENT_USER, key.path(), QStringLiteral("value"), result), read);
        QCOMPARE(result, text);
    }

    void missingKeyOrValueIsNoText()
    {
        ScratchKey key;
        QVERIFY(key.valid());
        QString result = QStringLiteral("before");
        QVERIFY(!ReadRegistryValue(HKEY_CURRENT_USER, key.path(), QStringLiteral("absent"), result));
        QCOMPARE(result, QString());
        result = QStringLiteral("before");
        QVERIFY(!ReadRegistryValue(HKEY_CURRENT_USER, key.path() + QStringLiteral("\\absent"), QStringLiteral("value"), result));
        QCOMPARE(result, QString());
    }

    // The bias is the system's ActiveTimeBias, read anew each time: a zone east of
    // Greenwich is a negative number of minutes.
    void biasIsTheSystemsActiveBiasAtEveryRead()
    {
        ChangedMachineValue active(ZoneKey, QStringLiteral("ActiveTimeBias"));
        const auto zone = createTimeZoneBias();
        for (const qint32 minutes : { 300, -60, -330, 0 }) {
            if (!active.setNumber(minutes))
                QSKIP("this account may not change the machine's zone value");
            qint32 bias = 12345;
            QVERIFY(zone->read(bias));
            QCOMPARE(bias, minutes);
        }
    }

    // Unchanged, the value agrees with what the system says of its zone now.
    void biasAgreesWithTheSystemsZone()
    {
        TIME_ZONE_INFORMATION info {};
        const DWORD kind = GetTimeZoneInformation(&info);
        QVERIFY(kind != TIME_ZONE_ID_INVALID);
        const qint32 expected = qint32(info.Bias)
                                + qint32(kind == TIME_ZONE_ID_DAYLIGHT ? info.DaylightBias
                                                                       : kind == TIME_ZONE_ID_STANDARD ? info.StandardBias : 0);
        qint32 bias = 12345;
        QVERIFY(createTimeZoneBias()->read(bias));
        QCOMPARE(bias, expected);
    }

    // The tray's second picture set is chosen by the product name in the registry.
    void productNameChoosesThePictureSet_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index"); // of picture 1
        QTest::newRow("XP") << QStringLiteral("Microsoft Windows XP") << 7;
        QTest::newRow("xp in any case") << QStringLiteral("Windows xp Professional") << 7;
        QTest::newRow("Windows 10") << QStringLiteral("Windows 10 Pro") << 1;
    }

    void productNameChoosesThePictureSet()
    {
        QFETCH(QString, name);
        QFETCH(int, index);
        ChangedMachineValue product(SystemVersionKey, QStringLiteral("ProductName"));
        if (!product.setText(name))
            QSKIP("this account may not change the machine's product name");
        QString read;
        QVERIFY(readProductName(read));
        QCOMPARE(read, name);

        TestState rig;
        frmMain form(rig.state, Presence::Headless, frmMain::Ports { 1, 0, QHostAddress::LocalHost });
        QCOMPARE(form.GetIconIndex(1), index);
        QCOMPARE(form.GetIconIndex(6), index + 5);
    }

    void dataFolderIsTheSystemsAllUsersFolder()
    {
        const QString programData = qEnvironmentVariable("ProgramData");
        QVERIFY(!programData.isEmpty());
        QCOMPARE(defaultDataFolder(), QDir::toNativeSeparators(QDir::cleanPath(programData)) + QStringLiteral("\\Brindlecot\\"));

        // Made with its parents; the rights are the installer's.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = QDir::toNativeSeparators(dir.path()) + QStringLiteral("\\a\\Brindlecot\\");
        createPrivateFolder(folder);
        QVERIFY(QFileInfo(folder).isDir());
        createPrivateFolder(folder); // again, quietly
        QVERIFY(QFileInfo(folder).isDir());
    }

    // One named pipe per data folder, however the folder is spelt; commands and answers
    // pass through it between two sides of this account.
    void controlChannelIsAPipeOfTheDataFolder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = QDir::toNativeSeparators(dir.path()) + QLatin1Char('\\');
        const QString name = controlSocketName(folder);
        QCOMPARE(controlSocketName(dir.path().toUpper() + QLatin1Char('/')), name);
        QVERIFY(controlSocketName(folder + QStringLiteral("other\\")) != name);
        QVERIFY(!name.contains(QLatin1Char('\\')) && !name.contains(QLatin1Char('/')));
        QCOMPARE(runtimeFolderRefusal(folder), QString());

        ControlServer server([](const Control::Request &request) {
            return Control::Answer { Control::Done, request.command == Control::Command::Status ? QStringLiteral("running\n") : QString() };
        });
        QVERIFY2(server.listen(name), qPrintable(server.errorString()));
        QVERIFY(server.fullName().startsWith(QStringLiteral("\\\\.\\pipe\\")));

        std::optional<Control::Answer> answer;
        std::atomic<bool> done { false };
        std::thread asker([&] {
            answer = ControlClient::ask(folder, Control::Command::Status);
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
        asker.join();
        QVERIFY(answer);
        QCOMPARE(answer->status, Control::Done);
        QCOMPARE(answer->text, QStringLiteral("running\n"));
    }

    // What Windows does not need: a helper for port 37, a desktop to look for, the desktop's
    // own notifications (the icon's balloon tells instead).
    void nothingToAskForOnWindows()
    {
        QCOMPARE(PortHelper::askListener(QString()), qintptr(-1));
        QVERIFY(desktopAvailable());
        QVERIFY(graphicalPlatforms().isEmpty());
        QVERIFY(!DesktopNotification().send(QStringLiteral("title"), QStringLiteral("text"), QImage(), QStringLiteral("Open")));
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestWindowsPlatform)
#include "tst_windowsplatform.moc"
