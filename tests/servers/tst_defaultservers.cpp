#include "servers/DefaultServers.h"
#include "servers/clsHosts.h"
#include "TestMain.h"

#include <QTest>

namespace {

QStringList paths(const clsHosts &hosts)
{
    QStringList result;
    for (const auto &host : hosts.mItems)
        result << host->HostPath();
    return result;
}

} // namespace

class TestDefaultServers : public QObject
{
    Q_OBJECT

private slots:
    void defaultsInListOrder()
    {
        clsHosts hosts;
        AddDefaultServers(hosts);

        const QStringList expected {
            "time-a-g.nist.gov",   "time-b-g.nist.gov",   "time-c-g.nist.gov",   "time-d-g.nist.gov",
            "time-e-g.nist.gov",   "time-a-wwv.nist.gov", "time-b-wwv.nist.gov", "time-c-wwv.nist.gov",
            "time-d-wwv.nist.gov", "time-e-wwv.nist.gov", "time-a-b.nist.gov",   "time-b-b.nist.gov",
            "time-c-b.nist.gov",   "time-d-b.nist.gov",
        };
        QCOMPARE(paths(hosts), expected);
        QCOMPARE(defaultServerNames(), expected);
        for (const auto &host : hosts.mItems) {
            QCOMPARE(host->HostActive(), qint16(1));
            QCOMPARE(host->HostStatus(), HostStatus::Untried);
            QCOMPARE(host->HostPollDate(), DateTime::Never);
            QCOMPARE(host->HostSynchError(), 0);
            QVERIFY(host->HostName().isEmpty());
        }
    }

    void restoreDefaults_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");

        const QStringList defaults = defaultServerNames();
        QStringList twoDeleted = defaults;
        twoDeleted.removeAt(6);
        twoDeleted.removeAt(2);

        QTest::newRow("all present: nothing changes") << defaults << defaults;
        QTest::newRow("two deleted: appended at the end in list order")
            << twoDeleted << twoDeleted + QStringList { defaults[2], defaults[6] };
        QTest::newRow("own server stays first") << QStringList { "mine.example" } << QStringList { "mine.example" } + defaults;
        QTest::newRow("a default in other letter case is another server")
            << QStringList { "TIME-A-G.NIST.GOV" } << QStringList { "TIME-A-G.NIST.GOV" } + defaults;
    }

    void restoreDefaults()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);

        // Existing records are switched off and tried, so that any change to them shows.
        clsHosts hosts;
        for (const QString &path : before) {
            auto host = std::make_shared<clsHost>();
            host->setHostPath(path);
            host->setHostStatus(HostStatus::Succeeded);
            hosts.Add(host);
        }
        const auto existing = hosts.mItems;

        AddDefaultServers(hosts);

        QCOMPARE(paths(hosts), after);
        for (qint32 i = 0; i < hosts.count(); ++i) {
            const auto host = hosts.mItems.at(i);
            if (i < existing.size()) {
                QCOMPARE(host, existing.at(i));
                QCOMPARE(host->HostActive(), qint16(0));
                QCOMPARE(host->HostStatus(), HostStatus::Succeeded);
            } else {
                QCOMPARE(host->HostActive(), qint16(1));
                QCOMPARE(host->HostStatus(), HostStatus::Untried);
            }
        }
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestDefaultServers)
#include "tst_defaultservers.moc"
