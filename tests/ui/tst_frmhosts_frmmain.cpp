#include "ModalDriver.h"
#include "ScriptedTimeServer.h"
#include "TestState.h"
#include "app/frmMain.h"
#include "state/ProgramState.h"
#include "servers/DataFile.h"
#include "ui/frmEdit.h"
#include "ui/frmHosts.h"
#include "TestMain.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QTest>

// The Time Servers window as the main object opens and closes it: one at a time, its
// changes on disk as soon as it closes, and an automatic attempt right after.
class TestFrmHostsFrmMain : public QObject
{
    Q_OBJECT

    static constexpr int EventWait = 5000; // milliseconds

    TestState mRig;

    // A data file of two active loopback servers; nothing else is ever asked.
    void writeDataFile()
    {
        ProgramState state = mRig.another();
        for (const char *path : {"127.0.0.1", "127.0.0.2"})
            state.Hosts.Add(hostRecord(QString::fromLatin1(path)));
        QVERIFY(SaveDataFile(state));
    }

    qint16 savedActive(int position)
    {
        ProgramState state = mRig.another();
        LoadDataFile(state);
        return state.Hosts.Item(position)->HostActive();
    }

    QStringList savedPaths()
    {
        ProgramState state = mRig.another();
        LoadDataFile(state);
        QStringList paths;
        for (const auto &host : state.Hosts.mItems)
            paths << host->HostPath();
        return paths;
    }

    // The main object loaded from the data file, its client pointed at a silent server.
    struct Program {
        explicit Program(ProgramState fresh)
            : state(std::move(fresh)), form(state, Presence::Tray, frmMain::Ports{server.port(), 0, QHostAddress::LocalHost})
        {
            form.Form_Load();
        }
        ScriptedTimeServer server{ScriptedTimeServer::Silent};
        ProgramState state;
        frmMain form;
    };

private slots:
    void init()
    {
        mRig.removeDataFile();
    }

    void closingSavesThenStartsAnAttempt()
    {
        writeDataFile();
        Program program(mRig.another());
        ProgramState *state = &program.state;
        frmMain &form = program.form;

        form.ShowTimeServers();
        QPointer<frmHosts> window = form.hostsWindow();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(state->HostsShowing, WindowShowing::Open);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY((window->frameGeometry().center() - screen.center()).manhattanLength() <= 10);
        form.ShowTimeServers();
        QCOMPARE(form.hostsWindow(), window.data());
        form.SynchronizeNow(); // nothing starts while the window is open
        QCOMPARE(form.client().tcpClient().State(), qint16(SocketControl::sckClosed));

        // A server added, one unchecked, and an attempt by hand under way when the window
        // closes.
        ModalDriver driver({[](QWidget *modal) {
            auto *dialog = qobject_cast<frmEdit *>(modal);
            QVERIFY(dialog);
            dialog->Text1->setText(QStringLiteral("127.0.0.3"));
            dialog->cmdSave->click();
        }});
        window->cmdNew_Click();
        QVERIFY(!driver.missing());
        window->ListView1->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        window->ListView1->setCurrentItem(window->ListView1->topLevelItem(0));
        window->cmdTest_Click();
        QTRY_COMPARE_WITH_TIMEOUT(program.server.connections.size(), 1, EventWait);
        window->close();

        QCOMPARE(state->HostsShowing, WindowShowing::Closed);
        // On disk before the program ends.
        QCOMPARE(savedPaths(), (QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3")}));
        QCOMPARE(savedActive(2), qint16(0));
        QCOMPARE(savedActive(1), qint16(1));
        // The attempt by hand is abandoned, and the automatic one asks the one active server.
        QTRY_VERIFY_WITH_TIMEOUT(program.server.ended() >= 1, EventWait);
        QTRY_COMPARE_WITH_TIMEOUT(program.server.connections.size(), 2, EventWait);
        QCOMPARE(form.client().tcpClient().RemoteHost(), QStringLiteral("127.0.0.1"));
        QTRY_VERIFY_WITH_TIMEOUT(!window, EventWait); // released

        // The next opening is a fresh window.
        form.ShowTimeServers();
        QVERIFY(form.hostsWindow());
        QCOMPARE(form.hostsWindow()->ListView1->topLevelItem(1)->checkState(0), Qt::Unchecked);
        form.Shutdown();
    }

    // Escape closes the window by the same path as its close button: the check boxes are
    // on disk, the window is released, and an automatic attempt starts.
    void escapeClosesLikeTheCloseButton()
    {
        writeDataFile();
        Program program(mRig.another());
        frmMain &form = program.form;
        form.ShowTimeServers();
        QPointer<frmHosts> window = form.hostsWindow();
        QVERIFY(window);
        window->ListView1->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        QTest::keyClick(window->ListView1, Qt::Key_Escape);

        QCOMPARE(program.state.HostsShowing, WindowShowing::Closed);
        QCOMPARE(savedActive(1), qint16(1));
        QCOMPARE(savedActive(2), qint16(0));
        QTRY_VERIFY_WITH_TIMEOUT(!window, EventWait);
        QTRY_COMPARE_WITH_TIMEOUT(program.server.connections.size(), 1, EventWait);
        QCOMPARE(form.client().tcpClient().RemoteHost(), QStringLiteral("127.0.0.1"));
        form.Shutdown();
    }

    // The program ends while the window is open: its check boxes are saved, and no
    // attempt starts.
    void shutdownWhileOpen()
    {
        writeDataFile();
        Program program(mRig.another());
        frmMain &form = program.form;
        form.ShowTimeServers();
        form.hostsWindow()->ListView1->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        form.Shutdown();

        QCOMPARE(savedActive(1), qint16(0));
        QTest::qWait(100);
        QCOMPARE(program.server.connections.size(), 0);
    }
};

BRINDLECOT_TEST_MAIN(TestFrmHostsFrmMain)
#include "tst_frmhosts_frmmain.moc"
