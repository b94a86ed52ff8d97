#include "platform/TerminationSignals.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

sighandler_t handlerOf(int signalNumber)
{
    struct sigaction current {};
    ::sigaction(signalNumber, nullptr, &current);
    return current.sa_handler;
}

} // namespace

class TestTerminationSignals : public QObject
{
    Q_OBJECT

private slots:
    void signalBecomesCloseRequest_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void signalBecomesCloseRequest()
    {
        QFETCH(int, signalNumber);
        ::signal(signalNumber, SIG_DFL);

        TerminationSignals requests;
        QSignalSpy spy(&requests, &TerminationSignals::closeRequested);
        QVERIFY(requests.install());

        // Left to its default, any of these would end this test program here.
        QCOMPARE(::kill(::getpid(), signalNumber), 0);
        QCOMPARE(spy.count(), 0); // never from inside the handler
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.count(), 1);

        // A burst makes at least one more request and no more than one per signal.
        for (int i = 0; i < 200; ++i)
            ::raise(signalNumber);
        QVERIFY(spy.wait(5000));
        QTest::qWait(50);
        QVERIFY(spy.count() >= 2 && spy.count() <= 201);
    }

    void oneOwnerAtATimeAndHandlingIsGivenBack()
    {
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGHUP, SIG_DFL);
        auto first = std::make_unique<TerminationSignals>();
        QVERIFY(first->install());
        QVERIFY(handlerOf(SIGTERM) != SIG_DFL);

        TerminationSignals second;
        QVERIFY(!second.install());

        first.reset();
        QVERIFY(handlerOf(SIGTERM) == SIG_DFL);
        QVERIFY(handlerOf(SIGHUP) == SIG_DFL);
        QVERIFY(second.install()); // free again
    }

    void ignoredSignalStaysIgnored()
    {
        // As under nohup: a hang-up that the starter chose to ignore does not end the program.
        ::signal(SIGHUP, SIG_IGN);
        ::signal(SIGTERM, SIG_DFL);
        {
            TerminationSignals requests;
            QSignalSpy spy(&requests, &TerminationSignals::closeRequested);
            QVERIFY(requests.install());
            QVERIFY(handlerOf(SIGHUP) == SIG_IGN);
            ::raise(SIGHUP);
            ::raise(SIGTERM);
            QVERIFY(spy.wait(5000));
            QVERIFY(handlerOf(SIGHUP) == SIG_IGN);
        }
        QVERIFY(handlerOf(SIGHUP) == SIG_IGN);
        ::signal(SIGHUP, SIG_DFL);
    }
};

QTEST_GUILESS_MAIN(TestTerminationSignals)
#include "tst_terminationsignals.moc"
