#pragma once

#include "app/ControlProtocol.h"
#include "app/MenuRules.h"
#include "app/Presence.h"
#include "app/TrayDisplay.h"
#include "platform/ClockAccess.h"
#include "platform/DesktopNotification.h"
#include "platform/OtherTimeService.h"
#include "sync/AutoClient.h"
#include "sync/TimeProtocol.h"
#include "sync/TimeServer.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class frmHosts;
class QMessageBox;
class TrayIcon;
class frmAbout;
struct ProgramState;

// The hidden main object: it is loaded once, never shown, and carries the timers and the
// two network connections on whose events the program lives.
class frmMain : public QObject
{
    Q_OBJECT

public:
    // Where the client asks and where the local server listens; tests move them off 37.
    struct Ports {
        quint16 client = TimeProtocol::Port;
        quint16 server = TimeProtocol::Port;
        QHostAddress serverAddress = QHostAddress::Any;
    };

    // presence: where the program shows itself, decided once at start-up.
    frmMain(ProgramState &state, Presence presence, QObject *parent = nullptr);
    frmMain(ProgramState &state, Presence presence, const Ports &ports, QObject *parent = nullptr);
    ~frmMain() override;

    // Reads the data file (or takes the built-in servers), resets the tray state and
    // countdown, starts the countdown and the server timer, and adds the tray icon.
    void Form_Load();
    // The close request: stops the timers and closes both connections. Never cancelled.
    void Form_QueryUnload();
    // Writes the data file.
    void Form_Unload();
    // The whole shutdown, whoever asks for it (Exit, a signal, the end of the session);
    // runs once, removes the tray icon last, then emits unloaded().
    void Shutdown();

    // Adds the notification-area icon when there is a desktop to show it on; without one
    // the program runs on without it, and tells its state in lines of text instead. On a
    // desktop without a notification area the icon waits for one to appear.
    void AddTrayIcon();
    // Tells an account that may not set the clock how it may, once: through the icon, the
    // desktop's notifications without one, or as a line of text without a desktop.
    void TellClockAccess();
    // Without a notification area, tells in one line that another time service also sets
    // the clock, when one does.
    void TellOtherTimeService();
    // On a desktop still without a notification area some time after the start, tells the
    // user once, through the desktop's notifications, where the program is.
    void TellWhereItRuns();
    // A command from a later start or the command line: --sync-now, --pause, --resume and
    // --interval with the menu's enabled rules (a refusal brings the window or question in
    // the way to the front), --quit whatever is open (the whole shutdown, as at the end of
    // the session).
    Control::Answer Command(const Control::Request &request);
    // The tray display tick: the tray state as picture and tool tip, and the blink phase.
    void tmrIcon_Timer();
    // Image index 1..12 of picture number 1..6 (Pictures::trayPicture).
    int GetIconIndex(int picture);
    // The operating system's product name; false when the system does not tell it.
    static bool GetOS(QString &theOS);

    void tmrClient_Timer();
    void tmrServer_Timer();
    void SynchronizeNow();
    // Opens the Time Servers window unless it is open already.
    void ShowTimeServers();
    // The same, brought to the front with the token that a later start's launcher gave it
    // (WindowActivation), for the window that a later start asked for.
    void ShowTimeServersWithToken(const QByteArray &activationToken);
    // The Time Servers window has closed: its changes are saved and an attempt starts.
    void HostsWindow_Unloaded();
    // The open Time Servers window, or null.
    frmHosts *hostsWindow() const;
    // Opens the About window unless one is open already.
    void ShowAbout();

    // The browser with the home page, the problem-report page, the help's first page.
    void DoHome();
    void DoFeedback();
    void DoHelp();

    // The icon's left press: the Time Servers window, or only the system beep while
    // synchronization is paused; nothing while a question of the program's is open.
    void trayIcon_LeftPress();
    // Before the menu opens: the items' enabled states and check marks from the state.
    void mnuSysTray_AboutToShow();

    // The menu's commands.
    void mnuSynchronize_Click();
    // "Minute", "Hour" or "Day": interval code 1, 2 or 3.
    void mnuSynchronizeEvery_Click(qint32 code);
    void mnuPause_Click();
    void mnuHostList_Click();
    void mnuHostDefaults_Click();
    void mnuHomePage_Click();
    void mnuFeedback_Click();
    void mnuAbout_Click();
    void mnuHelp_Click();
    void mnuExit_Click();

    AutoClient &client() { return mClient; }
    TimeServer &localServer() { return mLocalServer; }

    Presence presence() const { return mPresence; }
    // True while the program waits for the answer to a question of its own.
    bool questionOpen() const { return mQuestionOpen; }
    // The icon and its menu; null without a desktop, and after the shutdown.
    TrayIcon *trayIcon() const { return mTray.get(); }
    frmAbout *aboutWindow() const;

    QTimer tmrClient; // 1000 ms: the synchronization countdown
    QTimer tmrServer; // 10000 ms: keeps the local server listening
    QTimer tmrIcon;   // 1000 ms: the tray display, from creation on

    // The folder of the executable, where the installed pages are looked for.
    QString programFolder;
    // The system beep of a left press while paused.
    std::function<void()> beep;
    // Who may set the clock, read when the object is made.
    ClockAccess clockAccess;
    // Another program that sets the clock, asked at the start and for --status; none asked
    // when null (main() gives the system's).
    std::unique_ptr<OtherTimeService> otherTimeService;

signals:
    // Without a notification area: a line for standard error. Each change of the tray
    // state's tool tip comes once, and, without a desktop, the notice about the clock.
    void headlessLine(const QString &line);
    // Right before the data file is written at shutdown.
    void savingDataFile();
    void unloaded();

private:
    // A notice through the desktop's notifications, or as a line when none is there.
    void notify(const QString &title, const QString &text);
    // Without an icon, a change of the tray state to a problem (clock too far off, an error)
    // is one desktop notification; called at every tray tick.
    void AnnounceProblem(const QString &toolTip);
    // The default action of a notification: the Time Servers window, brought forward when
    // it is open already (or the question in its way).
    void notification_DefaultAction();
    // The state is told in lines: no desktop, or no notification area (yet).
    bool toldInLines() const;
    // The tool tip the icon shows now, with or without an icon.
    QString currentToolTip() const;
    MenuRules::Situation situation() const;
    Control::Facts facts() const;
    // The answer to a command that the menu's rules refuse now: what stands in the way is
    // brought to the front, so that the user sees why (a headless copy has nothing to show).
    Control::Answer refusal(const QString &hostsOpen);

    ProgramState &mState;
    Presence mPresence;
    Ports mPorts;
    AutoClient mClient;
    TimeServer mLocalServer;
    std::unique_ptr<TrayIcon> mTray;
    QPointer<frmAbout> mAbout;
    int mShownPicture = 0; // picture number 1..6 on the icon
    TrayDisplay::SynchronizedToolTip mSynchronizedToolTip;
    QString mToldToolTip; // the state last told in a line
    DesktopNotification mNotifications;
    // The last TrayAlert other than "looking for a time server", which lies between two
    // attempts; none before the first.
    std::optional<qint16> mSettledAlert;
    bool mQuestionOpen = false;
    QPointer<QMessageBox> mQuestion; // while mQuestionOpen
    bool mUnloaded = false;
    QPointer<frmHosts> mHosts;
};
