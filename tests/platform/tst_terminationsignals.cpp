#include "platform/TerminationSignals.h"
#include "TestMain.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
// Sends a console's control event to every process on this process's console; makes a
// console first when the process has none. False when no console takes it.
bool sendConsoleEvent(DWORD event)
{
    if (GenerateConsoleCtrlEvent(event, 0))
        return true;
    return AllocConsole() && GenerateConsoleCtrlEvent(event, 0);
}
#else
sighandler_t handlerOf(int signalNumber)
{
    struct sigaction current {};
    ::sigaction(signalNumber, nullptr, &current);
    return current.sa_handler;
}
#endif

} // namespace

class TestTerminationSignals : public QObject
{
    Q_OBJECT

private slots:
    void signalBecomesCloseRequest_data()
    {
        QTest::addColumn<int>("signalNumber");
#ifdef Q_OS_WIN
        // The console's close, log-off and shut-down events come only from the system.
        QTest::newRow("Ctrl+C") << int(CTRL_C_EVENT);
        QTest::newRow("Ctrl+Break") << int(CTRL_BREAK_EVENT);
#else
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
#endif
    }

    void signalBecomesCloseRequest()
    {
        QFETCH(int, signalNumber);
#ifdef Q_OS_WIN
        TerminationSignals requests;
        QSignalSpy spy(&requests, &TerminationSignals::closeRequested);
        QVERIFY(requests.install());
        // Without the handler, either event would end this test program here.
        if (!sendConsoleEvent(DWORD(signalNumber)))
            QSKIP("no console took the event (Wine takes Ctrl+C only, and only on a console of a terminal)");
        QCOMPARE(spy.count(), 0); // never from the handler's own thread
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.count(), 1);
        for (int i = 0; i < 20; ++i)
            QVERIFY(sendConsoleEvent(DWORD(signalNumber)));
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 2, 5000);
        QTest::qWait(50);
        QVERIFY(spy.count() <= 21);
#else
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
#endif
    }

    void oneOwnerAtATimeAndHandlingIsGivenBack()
    {
#ifdef Q_OS_WIN
        auto first = std::make_unique<TerminationSignals>();
        QVERIFY(first->install());
        TerminationSignals second;
        QVERIFY(!second.install());
        first.reset();
        QVERIFY(second.install()); // free again
#else
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
#endif
    }

    void ignoredSignalStaysIgnored()
    {
#ifdef Q_OS_WIN
        QSKIP("Linux only: a signal that the starter ignored (nohup)");
#else
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
#endif
    }
};

BRINDLECOT_TEST_GUILESS_MAIN(TestTerminationSignals)
#include "tst_terminationsignals.moc"
