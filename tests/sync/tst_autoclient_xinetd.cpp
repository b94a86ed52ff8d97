#include "sync/AutoClient.h"

#include "TestState.h"
#include "XinetdTimeService.h"
#include "platform/TimeZoneBias.h"
#include "TestMain.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QTest>

// The client against a time server that nobody here wrote: xinetd's built-in RFC 868
// service. The fake clock shows the machine's own time, so the server agrees with it.
class TestAutoClientXinetd : public QObject
{
    Q_OBJECT

private slots:
    void synchronizesWithXinetd()
    {
        XinetdTimeService service;
        QString error;
        QVERIFY2(service.start(&error), qPrintable(error));

        const std::unique_ptr<TimeZoneBias> zone = createTimeZoneBias();
        const QDateTime machineNow = QDateTime::currentDateTime();
        FakeSystemClock clock(DateTime::fromParts(machineNow.date(), machineNow.time()));
        TestState rig(clock, *zone); // the machine's zone
        ProgramState &state = rig.state;
        state.Interval = IntervalChoice{true, false, false}; // every minute
        const auto record = rig.addHost(QStringLiteral("127.0.0.1"));

        AutoClient client(state, service.port());
        QSignalSpy arrivals(&client.tcpClient(), &SocketControl::DataArrival);
        for (int tick = 0; tick < 11; ++tick)
            client.tmrClient_Timer();
        QVERIFY(client.tcpClient().State() != SocketControl::sckClosed);
        QVERIFY(arrivals.wait(5000));

        QCOMPARE(state.TrayAlert, TrayAlert::Synchronized);
        QCOMPARE(state.pollLimit, 60);
        QCOMPARE(record->HostStatus(), HostStatus::Succeeded);
        QVERIFY2(record->HostSynchError() <= 1, qPrintable(QString::number(record->HostSynchError())));
        QCOMPARE(record->HostPollDate(), clock.now());
        QCOMPARE(clock.calls, QStringList()); // off by less than 2 s: left alone
        QCOMPARE(client.tcpClient().State(), qint16(SocketControl::sckClosed));
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestAutoClientXinetd)
#include "tst_autoclient_xinetd.moc"
