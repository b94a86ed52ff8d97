#include "servers/AnsiText.h"
#include "servers/clsHosts.h"

#include "LittleEndianBytes.h"
#include "TestMain.h"

#include <QBuffer>
#include <QtEndian>
#include <QUrl>
#include <QTest>

namespace {

struct Record {
    QString name;
    QString path;
    qint16 active = 0;
    qint16 status = 0;
    double pollDate = 0;
    qint32 synchError = 0;
};

clsHosts::HostRef makeHost(const Record &r)
{
    auto host = std::make_shared<clsHost>();
    host->setHostName(r.name);
    host->setHostPath(r.path);
    host->setHostActive(r.active);
    host->setHostStatus(r.status);
    host->setHostPollDate(r.pollDate);
    host->setHostSynchError(r.synchError);
    return host;
}

using namespace LittleEndianBytes;

// A record as the file holds it: given strings, never polled.
QByteArray fileRecord(const QByteArray &path, qint16 active = 1, const QByteArray &name = {})
{
    return int16(qint16(name.size())) + name + int16(qint16(path.size())) + path + int16(active) + int16(0)
        + QByteArray(8, '\0') + int32(0);
}

QByteArray fileBlock(qint32 count, const QByteArray &records)
{
    return int16(2) + int32(count) + records;
}

QByteArray written(const clsHosts &hosts)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!hosts.WriteProperties(buffer))
        return "write failed";
    return buffer.data();
}

// Reads bytes into hosts; the result says whether the block was read to its end.
bool readInto(clsHosts &hosts, const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return hosts.ReadProperties(buffer);
}

QStringList pathsAndActive(const clsHosts &hosts)
{
    QStringList result;
    for (const auto &host : hosts.mItems)
        result << host->HostPath() + QLatin1Char(':') + QString::number(host->HostActive());
    return result;
}

} // namespace

Q_DECLARE_METATYPE(QList<Record>)

class TestHostBlock : public QObject
{
    Q_OBJECT

private slots:
    void removeMovesLaterRecordsUp_data()
    {
        QTest::addColumn<qint32>("position");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("first") << 1 << QStringList { "b", "c" };
        QTest::newRow("middle") << 2 << QStringList { "a", "c" };
        QTest::newRow("last") << 3 << QStringList { "a", "b" };
        QTest::newRow("0: nothing") << 0 << QStringList { "a", "b", "c" };
        QTest::newRow("4: nothing") << 4 << QStringList { "a", "b", "c" };
    }

    void removeMovesLaterRecordsUp()
    {
        QFETCH(qint32, position);
        QFETCH(QStringList, left);
        clsHosts hosts;
        for (const char *path : { "a", "b", "c" })
            hosts.Add(makeHost({ "", QString::fromLatin1(path), 1 }));
        const clsHosts::HostRef second = hosts.Item(2);
        QCOMPARE(hosts.Remove(position), position >= 1 && position <= 3);
        QStringList paths;
        for (qint32 i = 1; i <= hosts.count(); ++i)
            paths << hosts.Item(i)->HostPath();
        QCOMPARE(paths, left);
        // Records are shared, not copied: the one at its new place is the same object.
        if (position == 1)
            QCOMPARE(hosts.Item(1), second);
    }

    void findPathnameAndItem()
    {
        clsHosts hosts;
        QCOMPARE(hosts.FindPathname(QStringLiteral("a")), -1);
        QCOMPARE(hosts.FindPathname(QString()), -1);
        QVERIFY(!hosts.Item(1));
        hosts.Add(makeHost({ "", "a", 1 }));
        hosts.Add(makeHost({ "", " b", 1 }));
        hosts.Add(makeHost({ "", "a", 0 })); // a duplicate: the first one counts
        QCOMPARE(hosts.FindPathname(QStringLiteral("a")), 1);
        QCOMPARE(hosts.FindPathname(QStringLiteral("b")), -1); // no trimming
        QCOMPARE(hosts.FindPathname(QStringLiteral(" b")), 2);
        QCOMPARE(hosts.FindPathname(QStringLiteral("A")), -1);
        for (qint32 outside : { 0, -1, 4 })
            QVERIFY(!hosts.Item(outside));
        QCOMPARE(hosts.Item(3)->HostActive(), qint16(0));
    }

    // The rules of the user's edits: no address twice, an edit is a fresh record at the end
    // that keeps only the check box.
    void editRules_data()
    {
        QTest::addColumn<QString>("from"); // empty: a new server
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<qint16>("active");
        QTest::newRow("new") << "" << "d" << QStringList { "a", "b", "c", "d" } << qint16(0);
        QTest::newRow("new, listed") << "" << "b" << QStringList { "a", "b", "c" } << qint16(-1);
        QTest::newRow("new, case differs") << "" << "B" << QStringList { "a", "b", "c", "B" } << qint16(0);
        QTest::newRow("edit moves to the end") << "a" << "d" << QStringList { "b", "c", "d" } << qint16(1);
        QTest::newRow("edit of an unchecked one") << "b" << "d" << QStringList { "a", "c", "d" } << qint16(0);
        QTest::newRow("edit to a listed one") << "a" << "c" << QStringList { "a", "b", "c" } << qint16(-1);
        QTest::newRow("edit unchanged") << "a" << "a" << QStringList { "a", "b", "c" } << qint16(-1);
        QTest::newRow("edit of one not listed") << "x" << "d" << QStringList { "a", "b", "c" } << qint16(-1);
    }

    void editRules()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QStringList, paths);
        QFETCH(qint16, active);
        clsHosts hosts;
        hosts.Add(makeHost({ "", "a", 1, 1, 40000.5, 7 }));
        hosts.Add(makeHost({ "", "b", 0, 2, 40001.5, 3 }));
        hosts.Add(makeHost({ "", "c", 1 }));
        const clsHosts::HostRef made = from.isEmpty() ? hosts.AddServer(to) : hosts.ChangeServer(from, to);
        QStringList left;
        for (qint32 i = 1; i <= hosts.count(); ++i)
            left << hosts.Item(i)->HostPath();
        QCOMPARE(left, paths);
        if (active == -1) {
            QVERIFY(!made);
            return;
        }
        QCOMPARE(made, hosts.Item(hosts.count()));
        QCOMPARE(made->HostName(), to);
        QCOMPARE(made->HostActive(), active);
        // Nothing of the old record's results comes along.
        QCOMPARE(made->HostStatus(), HostStatus::Untried);
        QCOMPARE(made->HostPollDate(), 0.0);
        QCOMPARE(made->HostSynchError(), 0);
    }

    // The window's delete and check boxes, by address: only a listed address changes
    // anything, and the check box writes 1 or 0.
    void removeAndActivateByAddress()
    {
        clsHosts hosts;
        hosts.Add(makeHost({ "", "a", 1 }));
        hosts.Add(makeHost({ "", "b", 7 }));
        hosts.Add(makeHost({ "", "c", 1 }));
        QVERIFY(hosts.SetServerActive(QStringLiteral("b"), true));
        QCOMPARE(hosts.Item(2)->HostActive(), qint16(1));
        QVERIFY(hosts.SetServerActive(QStringLiteral("a"), false));
        QCOMPARE(hosts.Item(1)->HostActive(), qint16(0));
        QVERIFY(!hosts.SetServerActive(QStringLiteral("B"), false));
        QCOMPARE(hosts.Item(2)->HostActive(), qint16(1));

        QVERIFY(!hosts.RemoveServer(QStringLiteral("x")));
        QVERIFY(hosts.RemoveServer(QStringLiteral("b")));
        QCOMPARE(hosts.count(), 2);
        QCOMPARE(hosts.Item(2)->HostPath(), QStringLiteral("c"));
        QVERIFY(!hosts.RemoveServer(QStringLiteral("b")));
    }

    void blockRoundTrip_data()
    {
        QTest::addColumn<QList<Record>>("records");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("empty collection") << QList<Record> {} << hex("0200 00000000");
        QTest::newRow("record with empty strings is 20 bytes")
            << QList<Record> { Record {} }
            << hex("0200 01000000  0000 0000 0000 0000 0000000000000000 00000000");
        QTest::newRow("fields in order, little-endian")
            << QList<Record> { { "ab", "x", 1, -1, 37992.75, 1799 } }
            << hex("0200 01000000  0200 6162 0100 78 0100 ffff 00000000188de240 07070000");
        QTest::newRow("records in collection order")
            << QList<Record> { { "", "b", 1, 1, -1.25, 0 }, { "", "a", 0, 0, 0, 65536 } }
            << hex("0200 02000000  0000 0100 62 0100 0100 000000000000f4bf 00000000"
                   "               0000 0100 61 0000 0000 0000000000000000 00000100");
    }

    void blockRoundTrip()
    {
        QFETCH(QList<Record>, records);
        QFETCH(QByteArray, bytes);

        clsHosts hosts;
        for (const Record &r : records)
            hosts.Add(makeHost(r));
        QCOMPARE(written(hosts).toHex(' '), bytes.toHex(' '));

        clsHosts loaded;
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QVERIFY(loaded.ReadProperties(buffer));
        QVERIFY(buffer.atEnd());
        QCOMPARE(loaded.count(), records.size());
        for (qint32 i = 0; i < loaded.count(); ++i) {
            const auto host = loaded.Item(i + 1);
            QCOMPARE(host->HostName(), records[i].name);
            QCOMPARE(host->HostPath(), records[i].path);
            QCOMPARE(host->HostActive(), records[i].active);
            QCOMPARE(host->HostStatus(), records[i].status);
            QCOMPARE(host->HostPollDate(), records[i].pollDate);
            QCOMPARE(host->HostSynchError(), records[i].synchError);
        }
    }

    void readingDamagedBlocks_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("kept"); // path:active
        QTest::addColumn<bool>("complete");

        const QByteArray a = fileRecord("a");
        const QByteArray b = fileRecord("b");
        QTest::newRow("count 0") << fileBlock(0, a) << QStringList {} << true;
        QTest::newRow("negative count") << fileBlock(-1, a) << QStringList {} << true;
        QTest::newRow("count 1000") << fileBlock(1000, a) << QStringList {} << true;
        QTest::newRow("count 999, two records held") << fileBlock(999, a + b) << QStringList { "a:1", "b:1" } << false;
        QTest::newRow("cut inside the second record") << fileBlock(2, a + b.left(7)) << QStringList { "a:1" } << false;
        QTest::newRow("cut inside the count") << hex("0200 0100") << QStringList {} << false;
        QTest::newRow("negative string length") << fileBlock(2, a + hex("ffff 61")) << QStringList { "a:1" } << false;
        QTest::newRow("length 32767 with three bytes left")
            << fileBlock(2, a + hex("ff7f 616263")) << QStringList { "a:1" } << false;
        QTest::newRow("duplicate path: the first wins")
            << fileBlock(3, a + b + fileRecord("a", 0)) << QStringList { "a:1", "b:1" } << true;
        QTest::newRow("paths differing in case are two servers")
            << fileBlock(2, a + fileRecord("A", 0)) << QStringList { "a:1", "A:0" } << true;
    }

    void readingDamagedBlocks()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, kept);
        QFETCH(bool, complete);

        clsHosts hosts;
        QCOMPARE(readInto(hosts, bytes), complete);
        QCOMPARE(pathsAndActive(hosts), kept);
    }

    void readingKeepsRecordsAlreadyHeld()
    {
        clsHosts hosts;
        const auto existing = makeHost({ "", "a", 0, 1, 37992.75, 5 });
        hosts.Add(existing);

        QVERIFY(readInto(hosts, fileBlock(2, fileRecord("a", 1) + fileRecord("c", 1))));
        QCOMPARE(pathsAndActive(hosts), (QStringList { "a:0", "c:1" }));
        QCOMPARE(hosts.Item(1), existing);
        QCOMPARE(existing->HostStatus(), HostStatus::Succeeded);
        QCOMPARE(existing->HostPollDate(), 37992.75);
    }

    void overLongStringsStopWriting_data()
    {
        QTest::addColumn<int>("nameLength");
        QTest::addColumn<int>("pathLength");
        QTest::addColumn<int>("recordsWritten");

        QTest::newRow("path of 32767 fits") << 0 << 32767 << 3;
        QTest::newRow("name of 32767 fits") << 32767 << 1 << 3;
        QTest::newRow("path of 32768 stops") << 0 << 32768 << 1;
        QTest::newRow("name of 32768 stops") << 32768 << 1 << 1;
    }

    void overLongStringsStopWriting()
    {
        QFETCH(int, nameLength);
        QFETCH(int, pathLength);
        QFETCH(int, recordsWritten);

        clsHosts hosts;
        hosts.Add(makeHost({ "", "first", 1 }));
        hosts.Add(makeHost({ QString(nameLength, 'n'), QString(pathLength, 'p'), 1 }));
        hosts.Add(makeHost({ "", "third", 1 }));

        // The block announces exactly the records it holds, so reading it back is
        // complete and ends at the last byte.
        const QByteArray bytes = written(hosts);
        QCOMPARE(qFromLittleEndian<qint32>(bytes.constData() + 2), recordsWritten);
        clsHosts loaded;
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QVERIFY(loaded.ReadProperties(buffer));
        QVERIFY(buffer.atEnd());
        QCOMPARE(loaded.count(), recordsWritten);
        QCOMPARE(loaded.Item(1)->HostPath(), QStringLiteral("first"));
    }

    void textConversion_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("representable");

        QTest::newRow("ASCII") << u"time.example.org"_qs << QByteArray("time.example.org") << true;
        QTest::newRow("Latin-1 letters") << u"café"_qs << hex("636166e9") << true;
        QTest::newRow("code page punctuation") << u"€‚ƒ„…Ÿ"_qs << hex("808283 84859f") << true;
        QTest::newRow("unassigned bytes as controls") << u"\u0081\u008d\u008f\u0090\u009d"_qs << hex("818d8f909d") << true;
        QTest::newRow("control the code page lacks") << u"a\u0080"_qs << hex("613f") << false;
        QTest::newRow("Cyrillic") << u"мир"_qs << hex("3f3f3f") << false;
        QTest::newRow("character beyond U+FFFF is one '?'") << u"a\U0001F600b"_qs << hex("613f62") << false;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << hex("3f") << false;
    }

    void textConversion()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, representable);

        QCOMPARE(AnsiText::fromUnicode(text).toHex(' '), bytes.toHex(' '));
        QCOMPARE(AnsiText::isRepresentable(text), representable);
        QCOMPARE(AnsiText::storedText(text) == text, representable);
    }

    void everyByteReadsBackUnchanged()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        const QString text = AnsiText::toUnicode(all);
        QVERIFY(AnsiText::isRepresentable(text));
        QCOMPARE(AnsiText::fromUnicode(text), all);
    }

    void hostNamesReadBackAsTypedAndKeepTheirHost_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("storedName");

        QTest::newRow("code page name kept") << u"bücher.example"_qs << QByteArray("b\xfc" "cher.example")
                                             << u"bücher.example"_qs;
        QTest::newRow("IDN in its ASCII form") << u"пример.рф"_qs << QByteArray("xn--e1afmkfd.xn--p1ai") << u"??????.??"_qs;
        QTest::newRow("IDN in capitals") << u"Пример.РФ"_qs << QByteArray("xn--e1afmKfd.xn--p1AI") << u"??????.??"_qs;
        QTest::newRow("ASCII labels keep their case") << u"Time.Пример.рф"_qs << QByteArray("Time.xn--e1afmKfd.xn--p1ai")
                                                      << u"Time.??????.??"_qs;
        QTest::newRow("Latin-1 label beside an IDN label") << u"café.рф"_qs << QByteArray("xn--caf-dma.xn--p1ai")
                                                           << u"café.??"_qs;
        QTest::newRow("typed in the ASCII form") << u"xn--e1afmkfd.xn--p1ai"_qs
                                                 << QByteArray("xn--xn--e1afmkfd-.xn--xn--p1ai-") << u"xn--e1afmkfd.xn--p1ai"_qs;
        QTest::newRow("no IDNA form") << u"a b☃"_qs << QByteArray("xn--a b-um5a") << u"a b?"_qs;
        QTest::newRow("beyond the BMP") << u"😀.example"_qs << QByteArray("xn--e28h.example") << u"?.example"_qs;
    }

    void hostNamesReadBackAsTypedAndKeepTheirHost()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        QFETCH(QString, storedName);

        QCOMPARE(AnsiText::hostPathBytes(typed), stored);
        QCOMPARE(AnsiText::storedHostPath(typed), typed);
        // A reader that takes the bytes as they are reaches the host IDNA names.
        const QByteArray ace = QUrl::toAce(typed);
        if (!AnsiText::isRepresentable(typed) && !ace.isEmpty())
            QCOMPARE(stored.toLower(), ace);

        clsHosts hosts;
        hosts.Add(makeHost({ typed, typed, 1 }));
        clsHosts loaded;
        QVERIFY(readInto(loaded, written(hosts)));
        QCOMPARE(loaded.Item(1)->HostPath(), typed);
        QCOMPARE(loaded.Item(1)->HostName(), storedName);
    }

    void caseDistinctNamesStayDistinct()
    {
        const QStringList paths = { u"Time.Пример.рф"_qs, u"time.пример.рф"_qs, u"TIME.ПРИМЕР.РФ"_qs,
                                    u"bücher.example"_qs, u"Bücher.example"_qs,  u"пример.рф"_qs,
                                    u"xn--e1afmkfd.xn--p1ai"_qs, u"Ǆ.ǅ.ǆ.İ"_qs,   u"ǅ.ǅ.ǆ.İ"_qs };
        clsHosts hosts;
        for (qsizetype i = 0; i < paths.size(); ++i) {
            auto host = makeHost({ QString(), paths[i], qint16(i % 2) });
            host->setHostStatus(HostStatus::Succeeded);
            host->setHostSynchError(qint32(i));
            hosts.Add(host);
        }
        clsHosts loaded;
        QVERIFY(readInto(loaded, written(hosts)));
        QCOMPARE(loaded.count(), qint32(paths.size()));
        for (qsizetype i = 0; i < paths.size(); ++i) {
            const auto host = loaded.Item(qint32(i + 1));
            QCOMPARE(host->HostPath(), paths[i]);
            QCOMPARE(host->HostActive(), qint16(i % 2));
            QCOMPARE(host->HostSynchError(), qint32(i));
        }
    }

    void hostileASCIIFormsReadAsTheyStand_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("not Punycode") << QByteArray("xn--!!.example");
        QTest::newRow("cut short") << QByteArray("xn--e1afmkf9");
        QTest::newRow("beyond the last code point") << QByteArray("xn--99999999999a");
        QTest::newRow("prefix alone") << QByteArray("xn--");
        QTest::newRow("very long") << "xn--" + QByteArray(4000, '9');
    }

    void hostileASCIIFormsReadAsTheyStand()
    {
        QFETCH(QByteArray, stored);
        QCOMPARE(AnsiText::hostPathFromBytes(stored), QString::fromLatin1(stored));
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestHostBlock)
#include "tst_hostblock.moc"
