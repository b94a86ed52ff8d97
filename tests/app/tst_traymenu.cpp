#include "ModalDriver.h"
#include "TestState.h"
#include "app/TrayIcon.h"
#include "app/WebPages.h"
#include "app/frmAbout.h"
#include "app/frmMain.h"
#include "servers/DataFile.h"
#include "ui/frmHosts.h"
#include "TestMain.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <functional>

// Records the pages the program hands to the browser instead of opening them.
class PageCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

// The tray icon's menu, its commands, the About window and the pages, on the offscreen
// platform. The client asks a closed loopback port, so an attempt goes nowhere.
class TestTrayMenu : public QObject
{
    Q_OBJECT

    TestState mRig;
    PageCatcher mPages;
    std::unique_ptr<ProgramState> mState;
    std::unique_ptr<frmMain> mForm;

    TrayIcon &tray() { return *mForm->trayIcon(); }
    QString dataFile() const { return mRig.dataFile(); }

    static QString executableFolder() { return QFileInfo(QStringLiteral(BRINDLECOT_EXECUTABLE)).absolutePath(); }

private slots:
    void initTestCase()
    {
        QVERIFY(mRig.folder.isValid());
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &mPages, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &mPages, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &mPages, "open");
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    }

    void init()
    {
        QFile::remove(dataFile());
        mPages.opened.clear();
        mState = std::make_unique<ProgramState>(mRig.another());
        mState->Hosts.Add(hostRecord(QStringLiteral("127.0.0.1")));
        QVERIFY(SaveDataFile(*mState));
        mState->Hosts.mItems.clear(); // the load brings it back
        // Port 1 on loopback is closed: an attempt starts and fails quietly.
        mForm = std::make_unique<frmMain>(*mState, Presence::Tray, frmMain::Ports { 1, 0, QHostAddress::LocalHost });
        mForm->programFolder = executableFolder();
        mForm->Form_Load();
        QVERIFY(mForm->trayIcon());
        QFile::remove(dataFile()); // from here on, a file on disk is one the program wrote
    }

    void cleanup()
    {
        mForm.reset();
        mState.reset();
    }

    void iconFollowsTheTrayState()
    {
        QSignalSpy headless(mForm.get(), &frmMain::headlessLine); // with the icon, no lines
        QCOMPARE(tray().shownIndex(), 5);
        QCOMPARE(tray().icon().toolTip(), QStringLiteral("Time Synchronization"));
        // Shown where Qt can place it (not on this test's platform, which has no tray).
        QCOMPARE(tray().icon().isVisible(), TrayIcon::placeable());
        QVERIFY(mForm->tmrIcon.isActive());
        QCOMPARE(mForm->tmrIcon.interval(), 1000);

        mForm->tmrIcon_Timer();
        QCOMPARE(tray().shownIndex(), 5);
        QCOMPARE(tray().icon().toolTip(), QStringLiteral("Looking for a time server..."));

        mState->TrayAlert = TrayAlert::Paused;
        mState->TrayAlertShowing = 0;
        QList<int> shown;
        for (int second = 0; second < 3; ++second) {
            mForm->tmrIcon_Timer();
            shown << tray().shownIndex();
        }
        QCOMPARE(shown, QList<int>({ 4, 6, 4 }));
        QCOMPARE(tray().icon().toolTip(), QStringLiteral("Time synchronization is paused"));

        mState->TrayAlert = TrayAlert::Failed;
        mState->TrayAlertMessage = QStringLiteral("Error (9) when time received from server");
        mForm->tmrIcon_Timer();
        QCOMPARE(tray().icon().toolTip(), mState->TrayAlertMessage);

        mState->TrayAlert = 99; // no row: nothing changes
        mForm->tmrIcon_Timer();
        QCOMPARE(tray().icon().toolTip(), mState->TrayAlertMessage);

        mForm->Shutdown();
        QVERIFY(!mForm->trayIcon());
        mForm->tmrIcon_Timer();
        QCOMPARE(headless.count(), 0);
    }

    void menuHasItsItemsInOrder()
    {
        QStringList captions;
        for (QAction *item : tray().mnuSysTray.actions())
            captions << (item->isSeparator() ? QStringLiteral("-") : item->text());
        QCOMPARE(captions, QStringList({ "Synchronize Now", "Synchronize Every...", "Pause Synchronization", "-",
                                         "Edit Time Servers...", "Restore Defaults", "-", "Home Page...",
                                         "Report a Problem...", "-", "About Brindlecot...", "Help...", "-", "Exit" }));
        QStringList intervals;
        for (QAction *item : tray().mnuSynchronize0->actions())
            intervals << item->text();
        QCOMPARE(intervals, QStringList({ "Minute", "Hour", "Day" }));
        QCOMPARE(tray().mnuSysTray.defaultAction(), tray().mnuSynchronize);
        QVERIFY(tray().mnuSynchronize3->isChecked());
        QVERIFY(!tray().mnuSynchronize1->isChecked() && !tray().mnuSynchronize2->isChecked());
        QVERIFY(tray().mnuPause->isCheckable() && !tray().mnuPause->isChecked());
        QCOMPARE(tray().icon().contextMenu(), &tray().mnuSysTray);
    }

    void enabledStates_data()
    {
        using namespace WindowShowing; // the two windows' columns
        QTest::addColumn<qint16>("hostsShowing");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<qint16>("aboutShowing");
        QTest::addColumn<bool>("synchronize"); // Synchronize Now, Synchronize Every... with its items
        QTest::addColumn<bool>("middle");      // Edit Time Servers..., Restore Defaults, Pause, Exit
        QTest::addColumn<bool>("about");
        QTest::newRow("Time Servers open") << Open << false << Closed << false << false << false;
        QTest::newRow("Time Servers open, paused, About open") << Open << true << Open << false << false << false;
        QTest::newRow("paused") << Closed << true << Closed << false << true << true;
        QTest::newRow("paused, About open") << Closed << true << Open << false << true << false;
        QTest::newRow("running") << Closed << false << Closed << true << true << true;
        QTest::newRow("running, About open") << Closed << false << Open << true << true << false;
    }

    void enabledStates()
    {
        QFETCH(qint16, hostsShowing);
        QFETCH(bool, paused);
        QFETCH(qint16, aboutShowing);
        QFETCH(bool, synchronize);
        QFETCH(bool, middle);
        QFETCH(bool, about);
        mState->HostsShowing = hostsShowing;
        mState->PauseChecked = paused;
        mState->AboutShowing = aboutShowing;
        emit tray().mnuSysTray.aboutToShow();

        QCOMPARE(tray().mnuSynchronize->isEnabled(), synchronize);
        QCOMPARE(tray().mnuSynchronize0->menuAction()->isEnabled(), synchronize);
        // "Minute", "Hour" and "Day" too: a desktop that shows the menu over D-Bus offers
        // them, and delivers a click on them, whatever their submenu's state.
        for (QAction *item : tray().mnuSynchronize0->actions())
            QCOMPARE(item->isEnabled(), synchronize);
        for (QAction *item : { tray().mnuHostList, tray().mnuHostDefaults, tray().mnuPause, tray().mnuExit })
            QCOMPARE(item->isEnabled(), middle);
        QCOMPARE(tray().mnuAbout->isEnabled(), about);
        for (QAction *item : { tray().mnuHomePage, tray().mnuFeedback, tray().mnuHelp })
            QVERIFY(item->isEnabled());
        QCOMPARE(tray().mnuPause->isChecked(), paused);

        // A click on "Minute" that arrives anyway changes the interval, and writes the
        // file, only where the item is enabled.
        QVERIFY(mState->Interval.Day);
        mForm->mnuSynchronizeEvery_Click(1);
        QCOMPARE(mState->Interval.Minute, synchronize);
        QCOMPARE(mState->Interval.Day, !synchronize);
        QCOMPARE(QFile::exists(dataFile()), synchronize);
        mState->PauseChecked = false;
        mState->HostsShowing = WindowShowing::Closed;
        mState->AboutShowing = WindowShowing::Closed;
    }

    void synchronizeNowStartsAnAttempt()
    {
        mState->TrayAlert = TrayAlert::Synchronized;
        mState->pollLimit = 3600;
        tray().mnuSynchronize->trigger();
        QCOMPARE(mState->TrayAlert, TrayAlert::Looking);
        QCOMPARE(mState->pollLimit, 10);
    }

    void intervalItems_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("seconds");
        QTest::newRow("Minute") << 1 << 60;
        QTest::newRow("Hour") << 2 << 3600;
        QTest::newRow("Day") << 3 << 86400;
    }

    void intervalItems()
    {
        QFETCH(int, code);
        QFETCH(int, seconds);
        // Start from another item, so that each choice really changes the marks.
        mState->Interval.applyCode(code == 2 ? 1 : 2);
        emit tray().mnuSysTray.aboutToShow();
        mState->TrayAlert = TrayAlert::Synchronized;
        QAction *items[] = { tray().mnuSynchronize1, tray().mnuSynchronize2, tray().mnuSynchronize3 };
        items[code - 1]->trigger();

        for (int i = 0; i < 3; ++i)
            QCOMPARE(items[i]->isChecked(), i == code - 1);
        QCOMPARE(mState->Interval.GetSynchInterval(), seconds);
        QCOMPARE(mState->TrayAlert, TrayAlert::Looking); // an attempt started at once

        // Written at once, not only at exit.
        ProgramState saved = mRig.another();
        QVERIFY(LoadDataFile(saved));
        QCOMPARE(saved.Interval.code(), code);
        QCOMPARE(saved.Hosts.count(), 1);

        // Choosing the checked item again keeps it checked.
        items[code - 1]->trigger();
        QVERIFY(items[code - 1]->isChecked());
        QCOMPARE(mState->Interval.code(), code);
    }

    void pauseOnAndOff()
    {
        mState->TrayAlert = TrayAlert::Synchronized;
        int beeps = 0;
        mForm->beep = [&beeps] { ++beeps; };
        tray().mnuPause->trigger();
        QVERIFY(mState->PauseChecked);
        QVERIFY(tray().mnuPause->isChecked());
        QCOMPARE(mState->TrayAlert, TrayAlert::Paused);
        QVERIFY(!QFile::exists(dataFile())); // the paused state is not stored

        // Paused, a left press only beeps.
        emit tray().leftPressed();
        QCOMPARE(beeps, 1);
        QVERIFY(!mForm->hostsWindow());
        QCOMPARE(mState->HostsShowing, WindowShowing::Closed);

        // Paused, Synchronize Now starts nothing.
        mForm->mnuSynchronize_Click();
        QCOMPARE(mState->TrayAlert, TrayAlert::Paused);

        tray().mnuPause->trigger();
        QVERIFY(!mState->PauseChecked);
        QVERIFY(!tray().mnuPause->isChecked());
        QCOMPARE(mState->TrayAlert, TrayAlert::Looking);
        mForm->tmrIcon_Timer();
        QCOMPARE(tray().icon().toolTip(), QStringLiteral("Looking for a time server..."));

        // Not paused, it opens the Time Servers window, without a beep.
        emit tray().leftPressed();
        QVERIFY(mForm->hostsWindow());
        QCOMPARE(beeps, 1);
    }

    void restoreDefaults_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer"); // NoButton: --quit meanwhile
        QTest::addColumn<int>("servers");
        QTest::newRow("No changes nothing") << QMessageBox::No << 1;
        QTest::newRow("Yes adds the built-in servers and saves") << QMessageBox::Yes << 15;
        // The program ends as at the end of the session: the question closes as No would,
        // and the list is written as it stands.
        QTest::newRow("--quit answers No and saves") << QMessageBox::NoButton << 1;
    }

    void restoreDefaults()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(int, servers);
        QCOMPARE(mState->Hosts.count(), 1); // the loopback server of the data file

        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        ModalDriver driver({ [&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            // While the question is open the icon and the menu do nothing: no command is
            // enabled, a left press opens no window, and later starts are told to wait.
            QVERIFY(mForm->questionOpen());
            emit tray().mnuSysTray.aboutToShow();
            for (QAction *item : tray().mnuSysTray.actions() + tray().mnuSynchronize0->actions())
                QVERIFY2(item->isSeparator() || !item->isEnabled(), qPrintable(item->text()));
            emit tray().leftPressed();
            QVERIFY(!mForm->hostsWindow());
            // A click on an interval that arrives anyway changes nothing.
            mForm->mnuSynchronizeEvery_Click(2);
            QCOMPARE(mState->Interval.code(), 3);
            QVERIFY(!QFile::exists(dataFile()));
            for (Control::Command command : { Control::Command::Show, Control::Command::SyncNow })
                QCOMPARE(mForm->Command(command).status, Control::Refused);
            if (answer == QMessageBox::NoButton)
                QCOMPARE(mForm->Command(Control::Command::Quit).status, Control::Done);
            else
                box->button(answer)->click();
        } });
        QSignalSpy unloaded(mForm.get(), &frmMain::unloaded);
        tray().mnuHostDefaults->trigger();
        QCOMPARE(driver.unexpected, 0);
        QVERIFY(!driver.missing());
        QVERIFY(!mForm->questionOpen());
        QCOMPARE(unloaded.count(), answer == QMessageBox::NoButton ? 1 : 0);

        QCOMPARE(title, QStringLiteral("Add Default Time Servers?"));
        QCOMPARE(text, QStringLiteral("Are you sure you want to add the default time servers to your list?"));
        QCOMPARE(icon, QMessageBox::Information);
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(mState->Hosts.count(), servers);
        QCOMPARE(mState->Hosts.Item(1)->HostPath(), QStringLiteral("127.0.0.1"));
        if (answer == QMessageBox::No) {
            QVERIFY(!QFile::exists(dataFile()));
        } else if (answer == QMessageBox::NoButton) {
            ProgramState saved = mRig.another();
            QVERIFY(LoadDataFile(saved));
            QCOMPARE(saved.Hosts.count(), servers);
            QVERIFY(saved.Interval.Day);
        } else {
            ProgramState saved = mRig.another();
            QVERIFY(LoadDataFile(saved));
            QCOMPARE(saved.Hosts.count(), servers);
        }
    }

    // Later starts and the command line follow the menu's rules.
    void commandsFollowTheMenuRules()
    {
        // --show opens the window, and brings the open one to the front instead of a second.
        QCOMPARE(mForm->Command(Control::Command::Show).status, Control::Done);
        QPointer<frmHosts> window = mForm->hostsWindow();
        QVERIFY(window);
        // The menu's items say so at once, for a desktop that sends a command without
        // asking for the menu first.
        QVERIFY(!tray().mnuExit->isEnabled());
        QCOMPARE(mForm->Command(Control::Command::Show).status, Control::Done);
        QCOMPARE(mForm->hostsWindow(), window.data());
        // While it is open no attempt: --sync-now is refused, and brings the window to the
        // front, so that the user sees why.
        window->showMinimized();
        QTRY_VERIFY(window->isMinimized());
        const Control::Answer sync = mForm->Command(Control::Command::SyncNow);
        QCOMPARE(sync.status, Control::Refused);
        QCOMPARE(sync.text, QStringLiteral("The Time Servers window is open; Brindlecot synchronizes when it closes.\n"));
        QVERIFY(!window->isMinimized());
        QTRY_VERIFY(window->isActiveWindow());
        QCOMPARE(mState->TrayAlert, TrayAlert::Looking);
        window->close();
        QTRY_VERIFY(!window);
        QVERIFY(tray().mnuExit->isEnabled());

        // Paused: --sync-now is refused with one line and starts nothing.
        tray().mnuPause->trigger();
        const Control::Answer paused = mForm->Command(Control::Command::SyncNow);
        QCOMPARE(paused.status, Control::Refused);
        QCOMPARE(paused.text, QStringLiteral("Synchronization is paused; resume it with `brindlecot --resume`.\n"));
        QCOMPARE(mState->TrayAlert, TrayAlert::Paused);
        QVERIFY(mForm->Command(Control::Command::Status).text.contains(QRegularExpression(QStringLiteral("\nPaused: +yes\n"))));
        tray().mnuPause->trigger();

        mState->TrayAlert = TrayAlert::Synchronized;
        mState->pollLimit = 3600;
        QCOMPARE(mForm->Command(Control::Command::SyncNow).status, Control::Done);
        QCOMPARE(mState->TrayAlert, TrayAlert::Looking); // an attempt started at once
        QCOMPARE(mState->pollLimit, 10);

        QSignalSpy unloaded(mForm.get(), &frmMain::unloaded);
        QCOMPARE(mForm->Command(Control::Command::Quit).status, Control::Done);
        QVERIFY(unloaded.isEmpty()); // after the answer has gone out
        QTRY_COMPARE(unloaded.count(), 1);
        QVERIFY(QFile::exists(dataFile()));
    }

    // --quit, the launcher's "Exit" action, ends the program with the Time Servers window
    // open, as the end of the session does: the window closes as its Close does (its check
    // boxes taken over), and the data file is written.
    void quitWithTheTimeServersWindowOpen()
    {
        QCOMPARE(mForm->Command(Control::Command::Show).status, Control::Done);
        frmHosts *window = mForm->hostsWindow();
        QVERIFY(window);
        QCOMPARE(window->ListView1->topLevelItemCount(), 1);
        window->ListView1->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        QCOMPARE(mState->Hosts.Item(1)->HostActive(), qint16(1)); // taken over at the close

        QSignalSpy unloaded(mForm.get(), &frmMain::unloaded);
        const Control::Answer quit = mForm->Command(Control::Command::Quit);
        QCOMPARE(quit.status, Control::Done);
        QCOMPARE(quit.text, QString());
        QVERIFY(unloaded.isEmpty()); // after the answer has gone out
        QTRY_COMPARE(unloaded.count(), 1);
        QCOMPARE(mState->HostsShowing, WindowShowing::Closed);
        QVERIFY(!mForm->trayIcon());
        ProgramState saved = mRig.another();
        QVERIFY(LoadDataFile(saved));
        QCOMPARE(saved.Hosts.count(), 1);
        QCOMPARE(saved.Hosts.Item(1)->HostActive(), qint16(0));
    }

    void pagesOpenInTheBrowser()
    {
        tray().mnuHelp->trigger();
        tray().mnuHomePage->trigger();
        tray().mnuFeedback->trigger();
        QCOMPARE(mPages.opened.size(), 3);
        QCOMPARE(mPages.opened.at(0), WebPages::helpIndex(executableFolder()));
        QCOMPARE(mPages.opened.at(1), WebPages::homePage(executableFolder()));
        QCOMPARE(mPages.opened.at(2), WebPages::feedbackPage(executableFolder()));
        QVERIFY(mPages.opened.at(1).toString().endsWith(QStringLiteral("/index.htm")));
        QVERIFY(mPages.opened.at(2).toString().endsWith(QStringLiteral("/feedback.htm")));
        // The pages built with the program lie beside the built executable.
        for (const QUrl &page : std::as_const(mPages.opened)) {
            if (page.isLocalFile())
                QVERIFY2(QFileInfo::exists(page.toLocalFile()), qPrintable(page.toString()));
        }
        QCOMPARE(QFileInfo(mPages.opened.at(0).toLocalFile()).fileName(), QStringLiteral("index.htm"));
    }

    void helpIsFoundInAnInstall()
    {
#ifdef Q_OS_WIN
        QSKIP("installs the build with the build machine's cmake, a Linux program that a Windows "
              "program under Wine cannot start");
#endif
        QTemporaryDir prefix;
        QVERIFY(prefix.isValid());
        QProcess install;
        install.start(QStringLiteral(CMAKE_COMMAND),
                      { QStringLiteral("--install"), QStringLiteral(BUILD_FOLDER), QStringLiteral("--prefix"), prefix.path(),
                        QStringLiteral("--component"), QStringLiteral("pages") });
        QVERIFY(install.waitForFinished(60000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());

        const QString installedProgram = prefix.path() + QStringLiteral("/bin");
        mForm->programFolder = installedProgram;
        mForm->DoHelp();
        mForm->DoFeedback();
        QCOMPARE(mPages.opened.size(), 2);
        const QString help = mPages.opened.at(0).toLocalFile();
        QVERIFY2(QFileInfo::exists(help), qPrintable(help));
        QVERIFY(help.startsWith(prefix.path() + QLatin1Char('/')));
        QVERIFY(help.endsWith(QStringLiteral("/help/index.htm")));
        if (mPages.opened.at(1).isLocalFile())
            QVERIFY(QFileInfo::exists(mPages.opened.at(1).toLocalFile()));
    }

    // Where no icon can be placed (no StatusNotifierItem host, a platform other than X11),
    // adding it stays quiet: Qt's X11 fallback would warn that the platform lacks its signal.
    void anIconNoTrayCanHoldIsNotShown()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("systemTrayWindowChanged")));
        QVERIFY(!TrayIcon::placeable());
        TrayIcon icon;
        icon.add(5, QStringLiteral("Looking for a time server..."));
        QVERIFY(!icon.icon().isVisible());
        QCOMPARE(icon.shownIndex(), 5);
        icon.remove();
    }

    void aboutWindow()
    {
        tray().mnuAbout->trigger();
        frmAbout *about = mForm->aboutWindow();
        QVERIFY(about);
        QVERIFY(about->isVisible());
        QVERIFY(!about->isModal());
        QCOMPARE(about->windowTitle(), QStringLiteral("About Brindlecot"));
        QCOMPARE(about->frmVersion->title(), QStringLiteral("Version"));
        QCOMPARE(about->lblVersion->text(), QStringLiteral("Version 2.0"));
        QCOMPARE(about->cmdHelp->text(), QStringLiteral("Help"));
        QCOMPARE(about->Image1->pixmap().deviceIndependentSize().toSize(), QSize(284, 89));
        QCOMPARE(mState->AboutShowing, WindowShowing::Open);
        // The notices the licence asks an interactive program to show.
        QCOMPARE(about->lblCopyright->text(), QStringLiteral("Copyright \u00A9 2026 Brindlecot maintainers"));
        for (const char *words : { "GPL-3.0-or-later", "https://gnu.org/licenses/gpl.html", "redistribute", "NO WARRANTY" })
            QVERIFY2(about->lblLicence->text().contains(QLatin1String(words)), words);
        QVERIFY(about->lblLicence->isVisible());
        // A button the keyboard reaches, and the one Enter presses.
        QCOMPARE(about->cmdClose->text(), QStringLiteral("Close"));
        QVERIFY(about->cmdClose->focusPolicy() & Qt::TabFocus);
        QVERIFY(about->cmdClose->isDefault());
        QVERIFY(!about->cmdHelp->isDefault());
        about->grab().save(QStringLiteral("about.png")); // for a person to look at

        // One at a time: the menu item is off, and a second request opens nothing.
        emit tray().mnuSysTray.aboutToShow();
        QVERIFY(!tray().mnuAbout->isEnabled());
        mForm->ShowAbout();
        QCOMPARE(mForm->aboutWindow(), about);
        QCOMPARE(QApplication::topLevelWidgets().count(about), 1);

        // "Help..." from the menu leaves the window open.
        tray().mnuHelp->trigger();
        QVERIFY(about->isVisible());

        // Its own Help button opens the help and closes the window.
        QTest::mouseClick(about->cmdHelp, Qt::LeftButton);
        QCOMPARE(mPages.opened.size(), 2);
        QCOMPARE(mPages.opened.at(1), WebPages::helpIndex(executableFolder()));
        QTRY_VERIFY_WITH_TIMEOUT(!mForm->aboutWindow(), 2000);
        QCOMPARE(mState->AboutShowing, WindowShowing::Closed);
        emit tray().mnuSysTray.aboutToShow();
        QVERIFY(tray().mnuAbout->isEnabled());

        // Closed by its frame, by Escape, by Enter or by its Close button, it ends the same way.
        const std::function<void(frmAbout *)> closings[] = {
            [](frmAbout *window) { window->close(); },
            [](frmAbout *window) { QTest::keyClick(window, Qt::Key_Escape); },
            [](frmAbout *window) { QTest::keyClick(window, Qt::Key_Return); },
            [](frmAbout *window) { QTest::keyClick(window->cmdClose, Qt::Key_Space); },
        };
        for (const auto &closing : closings) {
            mForm->ShowAbout();
            QVERIFY(mForm->aboutWindow());
            closing(mForm->aboutWindow());
            QTRY_VERIFY_WITH_TIMEOUT(!mForm->aboutWindow(), 2000);
            QCOMPARE(mState->AboutShowing, WindowShowing::Closed);
        }
        QCOMPARE(mPages.opened.size(), 2); // none of them opened the help
    }

    void exitEndsTheProgram()
    {
        QSignalSpy unloaded(mForm.get(), &frmMain::unloaded);
        tray().mnuExit->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(unloaded.count(), 1, 2000);
        QVERIFY(QFile::exists(dataFile()));
        QVERIFY(!mForm->trayIcon());
    }
};

BRINDLECOT_TEST_MAIN(TestTrayMenu)
#include "tst_traymenu.moc"
