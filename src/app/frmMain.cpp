#include "app/frmMain.h"

#include "app/ClockNotice.h"
#include "app/MenuRules.h"
#include "app/TrayDisplay.h"
#include "app/TrayIcon.h"
#include "app/WebPages.h"
#include "app/frmAbout.h"
#include "state/ProgramState.h"
#include "platform/DesktopNotification.h"
#include "platform/Pictures.h"
#include "platform/ProductName.h"
#include "platform/WindowActivation.h"
#include "servers/DataFile.h"
#include "servers/DefaultServers.h"
#include "ui/frmHosts.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QMessageBox>
#include <QScreen>

namespace {

constexpr int ClientTick = 1000;   // milliseconds
constexpr int ServerTick = 10000;  // milliseconds
constexpr int IconTick = 1000;     // milliseconds
constexpr int NoticeDelay = 2000;  // milliseconds: the desktop places a new icon first
constexpr int NoticeShown = 20000; // milliseconds
constexpr int NoTrayNoticeDelay = 10000; // milliseconds: time for a late panel to appear
constexpr int NotificationIconSize = 64; // pixels
const QString NotificationAction = QStringLiteral("Open Time Servers");
const QString ProblemTitle = QStringLiteral("Brindlecot could not synchronize the clock");

// Shows a window that is open already in front of the others: restored when minimized (a
// maximized one stays maximized), raised, and given the keyboard as far as the desktop lets
// a program that asks for itself.
void bringForward(QWidget *window)
{
    WindowActivation::bringForward(window, QByteArray());
}

} // namespace

frmMain::frmMain(ProgramState &state, Presence presence, QObject *parent) : frmMain(state, presence, Ports {}, parent) { }

frmMain::frmMain(ProgramState &state, Presence presence, const Ports &ports, QObject *parent)
    : QObject(parent)
    , mState(state)
    , mPresence(presence)
    , mPorts(ports)
    , mClient(state, ports.client)
    , mLocalServer(state, ports.server, ports.serverAddress)
{
    // All three timers tick on whole seconds, so that the idle program wakes once a second
    // and never in between: left to Qt's default, the one-second timers may settle half a
    // second away from the ten-second one, which then costs a wake-up of its own.
    for (QTimer *timer : { &tmrClient, &tmrServer, &tmrIcon })
        timer->setTimerType(Qt::VeryCoarseTimer);
    tmrClient.setInterval(ClientTick);
    tmrServer.setInterval(ServerTick);
    connect(&tmrClient, &QTimer::timeout, this, &frmMain::tmrClient_Timer);
    connect(&tmrServer, &QTimer::timeout, this, &frmMain::tmrServer_Timer);
    tmrIcon.setInterval(IconTick);
    connect(&tmrIcon, &QTimer::timeout, this, &frmMain::tmrIcon_Timer);
    tmrIcon.start();
    programFolder = QCoreApplication::applicationDirPath();
    beep = [] { QApplication::beep(); };
    clockAccess = readClockAccess();
    connect(&mNotifications, &DesktopNotification::defaultActionInvoked, this, &frmMain::notification_DefaultAction);
}

frmMain::~frmMain()
{
    // Windows still open at the end go with the main object, while the state they work on
    // still exists.
    delete mHosts.data();
    delete mAbout.data();
}

void frmMain::Form_Load()
{
    mState.AboutShowing = WindowShowing::Closed;
    if (DataFileIsValid(dataFilePath(mState)))
        LoadDataFile(mState);
    else
        AddDefaultServers(mState.Hosts);
    mState.TrayAlert = TrayAlert::Looking;
    mState.TrayAlertShowing = 0;
    mState.pollLimit = 10;
    mState.pollTicks = 0;
    tmrClient.start();
    tmrServer.start();
    AddTrayIcon();
    TellClockAccess();
    TellOtherTimeService();
}

void frmMain::Form_QueryUnload()
{
    tmrClient.stop();
    tmrServer.stop();
    // Both controls reach the closed state within Close() itself, so there is nothing to
    // wait for before the file is written.
    if (mClient.tcpClient().State() != SocketControl::sckClosed)
        mClient.tcpClient().Close();
    if (mLocalServer.State() != SocketControl::sckClosed)
        mLocalServer.Close();
}

void frmMain::Form_Unload()
{
    emit savingDataFile();
    SaveDataFile(mState);
}

void frmMain::Shutdown()
{
    if (mUnloaded)
        return;
    mUnloaded = true;
    // An open Time Servers window hands its check boxes over before the file is written,
    // as its Close does.
    if (mHosts)
        mHosts->Form_Unload();
    // An open question is answered No: nothing that only a Yes would do is done, and it
    // does not stay open for a program that has ended.
    if (mQuestion)
        mQuestion->done(QMessageBox::No);
    Form_QueryUnload();
    Form_Unload();
    if (mTray) {
        mTray->remove();
        mTray.reset();
    }
    emit unloaded();
}

void frmMain::tmrClient_Timer()
{
    mClient.tmrClient_Timer();
}

void frmMain::tmrServer_Timer()
{
    mLocalServer.tmrServer_Timer();
}

void frmMain::SynchronizeNow()
{
    mClient.SynchronizeNow();
}

void frmMain::ShowTimeServers()
{
    ShowTimeServersWithToken(QByteArray());
}

void frmMain::ShowTimeServersWithToken(const QByteArray &activationToken)
{
    // Without a desktop there is nothing to show it on.
    if (mState.HostsShowing == WindowShowing::Open || mUnloaded || mPresence == Presence::Headless)
        return;
    auto *window = new frmHosts(mState, mPorts.client);
    window->setAttribute(Qt::WA_DeleteOnClose); // a fresh window at every opening
    connect(window, &frmHosts::Unloaded, this, &frmMain::HostsWindow_Unloaded);
    mHosts = window;
    // Centred on the screen the pointer is on.
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
    }
    WindowActivation::bringForward(window, activationToken);
    // A desktop that shows the menu over D-Bus may send a command without asking for the
    // menu first: its items say now what may be done.
    mnuSysTray_AboutToShow();
}

void frmMain::HostsWindow_Unloaded()
{
    // At shutdown the file is written once more, and no attempt is started.
    if (mUnloaded)
        return;
    mnuSysTray_AboutToShow();
    // What the user changed reaches the disk now, not only when the program ends.
    SaveDataFile(mState);
    SynchronizeNow();
}

frmHosts *frmMain::hostsWindow() const
{
    return mHosts.data();
}

void frmMain::AddTrayIcon()
{
    if (mTray || mPresence == Presence::Headless)
        return;
    mTray = std::make_unique<TrayIcon>();
    TrayIcon &tray = *mTray;
    connect(&tray, &TrayIcon::leftPressed, this, &frmMain::trayIcon_LeftPress);
    connect(&tray, &TrayIcon::menuAboutToShow, this, &frmMain::mnuSysTray_AboutToShow);
    connect(tray.mnuSynchronize, &QAction::triggered, this, &frmMain::mnuSynchronize_Click);
    connect(tray.mnuSynchronize1, &QAction::triggered, this, [this] { mnuSynchronizeEvery_Click(1); });
    connect(tray.mnuSynchronize2, &QAction::triggered, this, [this] { mnuSynchronizeEvery_Click(2); });
    connect(tray.mnuSynchronize3, &QAction::triggered, this, [this] { mnuSynchronizeEvery_Click(3); });
    connect(tray.mnuPause, &QAction::triggered, this, &frmMain::mnuPause_Click);
    connect(tray.mnuHostList, &QAction::triggered, this, &frmMain::mnuHostList_Click);
    connect(tray.mnuHostDefaults, &QAction::triggered, this, &frmMain::mnuHostDefaults_Click);
    connect(tray.mnuHomePage, &QAction::triggered, this, &frmMain::mnuHomePage_Click);
    connect(tray.mnuFeedback, &QAction::triggered, this, &frmMain::mnuFeedback_Click);
    connect(tray.mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
    connect(tray.mnuHelp, &QAction::triggered, this, &frmMain::mnuHelp_Click);
    // Queued: the menu closes before the program ends.
    connect(tray.mnuExit, &QAction::triggered, this, &frmMain::mnuExit_Click, Qt::QueuedConnection);
    mnuSysTray_AboutToShow();
    mShownPicture = TrayDisplay::InitialPicture;
    tray.add(GetIconIndex(TrayDisplay::InitialPicture), TrayDisplay::initialToolTip());
    if (mPresence == Presence::DisplayWithoutTray)
        QTimer::singleShot(NoTrayNoticeDelay, this, &frmMain::TellWhereItRuns);
}

void frmMain::TellWhereItRuns()
{
    if (!mTray || mUnloaded)
        return;
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        mPresence = Presence::Tray; // the panel came late
        return;
    }
    notify(QStringLiteral("Brindlecot"),
           QStringLiteral("Brindlecot is keeping the clock right in the background. Open Brindlecot from the "
                          "applications menu to see its time servers."));
}

bool frmMain::toldInLines() const
{
    switch (mPresence) {
    case Presence::Headless:
        return true;
    case Presence::Tray:
        return false;
    case Presence::DisplayWithoutTray:
        return !QSystemTrayIcon::isSystemTrayAvailable();
    }
    return false;
}

void frmMain::notify(const QString &title, const QString &text)
{
    if (mPresence != Presence::Headless) {
        if (mTray && QSystemTrayIcon::isSystemTrayAvailable()) {
            mTray->icon().showMessage(title, text, Pictures::clockFace(), NoticeShown);
            return;
        }
        const QImage icon = Pictures::clockFace().pixmap(NotificationIconSize).toImage();
        if (mNotifications.send(title, text, icon, NotificationAction))
            return;
    }
    emit headlessLine(text);
}

void frmMain::tmrIcon_Timer()
{
    const auto tick = TrayDisplay::trayTick(mState.TrayAlert, mState.TrayAlertShowing, mState.TrayAlertMessage,
                                            mState.LastSynchDate, mSynchronizedToolTip);
    if (!tick)
        return;
    mState.TrayAlertShowing = tick->trayAlertShowing;
    // Once per change of text: a blinking state is one line, not one a second. Whether a
    // notification area is there is asked only then, not every second.
    if (!mUnloaded && tick->toolTip != mToldToolTip) {
        mToldToolTip = tick->toolTip;
        if (toldInLines())
            emit headlessLine(tick->toolTip);
    }
    AnnounceProblem(tick->toolTip);
    if (!mTray)
        return;
    // The picture is looked up only when its number changes; the icon itself skips what
    // it shows already.
    int index = mTray->shownIndex();
    if (tick->picture != mShownPicture) {
        mShownPicture = tick->picture;
        index = GetIconIndex(tick->picture);
    }
    mTray->change(index, tick->toolTip);
}

void frmMain::AnnounceProblem(const QString &toolTip)
{
    // A retry passes through "looking for a time server" and, failing as before, comes back
    // to the same problem: that is no change, and tells nothing new. A blink changes only
    // the picture.
    const qint16 alert = mState.TrayAlert;
    if (alert == TrayAlert::Looking || alert == mSettledAlert)
        return;
    mSettledAlert = alert;
    // With an icon, the icon shows it; without a desktop, the line has told it.
    if ((alert != TrayAlert::TooFarOff && alert != TrayAlert::Failed) || mUnloaded || mPresence != Presence::DisplayWithoutTray
        || !toldInLines())
        return;
    // The line on standard error has told it already if no service takes it.
    mNotifications.send(ProblemTitle, toolTip, Pictures::clockFace().pixmap(NotificationIconSize).toImage(),
                        NotificationAction);
}

void frmMain::notification_DefaultAction()
{
    if (mUnloaded || mPresence == Presence::Headless)
        return;
    if (mQuestionOpen)
        bringForward(mQuestion);
    else if (frmHosts *window = hostsWindow())
        bringForward(window);
    else
        ShowTimeServers();
}

void frmMain::TellClockAccess()
{
    if (!ClockNotice::applies(clockAccess))
        return;
    const QString text = ClockNotice::text(clockAccess);
    // Without a desktop before the first state; on one, once the desktop has placed the icon.
    if (mPresence == Presence::Headless) {
        notify(ClockNotice::title(), text);
        return;
    }
    QTimer::singleShot(NoticeDelay, this, [this, text] {
        if (!mUnloaded)
            notify(ClockNotice::title(), text);
    });
}

void frmMain::TellOtherTimeService()
{
    if (!otherTimeService || !toldInLines())
        return;
    if (const QString other = otherTimeService->running(); !other.isEmpty())
        emit headlessLine(QStringLiteral("Another time service, %1, also sets this computer's clock; Brindlecot "
                                         "synchronizes it all the same.")
                              .arg(other));
}

int frmMain::GetIconIndex(int picture)
{
    QString os;
    const bool known = GetOS(os);
    return TrayDisplay::iconIndex(picture, known, os);
}

bool frmMain::GetOS(QString &theOS)
{
    return readProductName(theOS);
}

frmAbout *frmMain::aboutWindow() const
{
    return mAbout.data();
}

void frmMain::ShowAbout()
{
    if (mAbout || mState.AboutShowing != WindowShowing::Closed)
        return;
    mAbout = new frmAbout(mState);
    connect(mAbout, &frmAbout::helpRequested, this, &frmMain::DoHelp);
    // Destroyed after its destructor has cleared AboutShowing.
    connect(mAbout, &QObject::destroyed, this, &frmMain::mnuSysTray_AboutToShow);
    mAbout->show();
    mnuSysTray_AboutToShow();
}

void frmMain::DoHome()
{
    QDesktopServices::openUrl(WebPages::homePage(programFolder));
}

void frmMain::DoFeedback()
{
    QDesktopServices::openUrl(WebPages::feedbackPage(programFolder));
}

void frmMain::DoHelp()
{
    QDesktopServices::openUrl(WebPages::helpIndex(programFolder));
}

void frmMain::trayIcon_LeftPress()
{
    if (mQuestionOpen)
        return;
    if (mState.PauseChecked)
        beep();
    else
        ShowTimeServers();
}

void frmMain::mnuSysTray_AboutToShow()
{
    if (!mTray)
        return;
    TrayIcon &tray = *mTray;
    const MenuRules::Enabled enabled = MenuRules::enabled(situation());
    tray.mnuSynchronize->setEnabled(enabled.synchronize);
    tray.mnuSynchronize0->menuAction()->setEnabled(enabled.synchronize);
    // The submenu's items too: a desktop that shows the menu over D-Bus delivers a click
    // on an item of a disabled submenu all the same.
    for (QAction *item : { tray.mnuSynchronize1, tray.mnuSynchronize2, tray.mnuSynchronize3 })
        item->setEnabled(enabled.synchronize);
    tray.mnuPause->setEnabled(enabled.pause);
    tray.mnuHostList->setEnabled(enabled.hostList);
    tray.mnuHostDefaults->setEnabled(enabled.hostDefaults);
    tray.mnuAbout->setEnabled(enabled.about);
    for (QAction *item : { tray.mnuHomePage, tray.mnuFeedback, tray.mnuHelp })
        item->setEnabled(enabled.pages);
    tray.mnuExit->setEnabled(enabled.exit);

    tray.mnuSynchronize1->setChecked(mState.Interval.Minute);
    tray.mnuSynchronize2->setChecked(mState.Interval.Hour);
    tray.mnuSynchronize3->setChecked(mState.Interval.Day);
    tray.mnuPause->setChecked(mState.PauseChecked);
}

void frmMain::mnuSynchronize_Click()
{
    SynchronizeNow();
}

void frmMain::mnuSynchronizeEvery_Click(qint32 code)
{
    // A click that arrives while the items are disabled changes nothing: neither the
    // interval nor the file, which the Time Servers window or the open question may be
    // about to change.
    if (!MenuRules::enabled(situation()).synchronize)
        return;
    mState.Interval.applyCode(code);
    mnuSysTray_AboutToShow();
    // What the user chose is on disk at once.
    SaveDataFile(mState);
    SynchronizeNow();
}

void frmMain::mnuPause_Click()
{
    mState.PauseChecked = !mState.PauseChecked;
    mnuSysTray_AboutToShow();
    if (mState.PauseChecked)
        mState.TrayAlert = TrayAlert::Paused;
    else
        SynchronizeNow();
}

void frmMain::mnuHostList_Click()
{
    ShowTimeServers();
}

void frmMain::mnuHostDefaults_Click()
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Add Default Time Servers?"),
                    QStringLiteral("Are you sure you want to add the default time servers to your list?"),
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setWindowIcon(Pictures::clockFace());
    // Meanwhile the icon and its menu do nothing, also where the desktop still delivers
    // them (over D-Bus), so that nothing reads the list before the answer changes it.
    mQuestionOpen = true;
    mQuestion = &box;
    mnuSysTray_AboutToShow();
    const int answer = box.exec();
    mQuestion = nullptr;
    mQuestionOpen = false;
    mnuSysTray_AboutToShow();
    // The program may have been told to end while the question was open.
    if (answer != QMessageBox::Yes || mUnloaded)
        return;
    AddDefaultServers(mState.Hosts);
    SaveDataFile(mState);
}

void frmMain::mnuHomePage_Click()
{
    DoHome();
}

void frmMain::mnuFeedback_Click()
{
    DoFeedback();
}

void frmMain::mnuAbout_Click()
{
    ShowAbout();
}

void frmMain::mnuHelp_Click()
{
    DoHelp();
}

void frmMain::mnuExit_Click()
{
    Shutdown();
}

MenuRules::Situation frmMain::situation() const
{
    return { mState.HostsShowing == WindowShowing::Open, mState.PauseChecked, mState.AboutShowing != WindowShowing::Closed,
             mQuestionOpen };
}

QString frmMain::currentToolTip() const
{
    return mToldToolTip.isEmpty() ? TrayDisplay::initialToolTip() : mToldToolTip;
}

Control::Answer frmMain::refusal(const QString &hostsOpen)
{
    if (mQuestionOpen) {
        bringForward(mQuestion);
        return { Control::Refused, QStringLiteral("Brindlecot is waiting for the answer to its question.\n") };
    }
    if (mState.PauseChecked && mState.HostsShowing != 1)
        return { Control::Refused, QStringLiteral("Synchronization is paused; resume it with `brindlecot --resume`.\n") };
    if (frmHosts *window = hostsWindow())
        bringForward(window);
    return { Control::Refused, hostsOpen };
}

Control::Answer frmMain::Command(const Control::Request &request)
{
    const QString closeWindowFirst = QStringLiteral("The Time Servers window is open; close it first.\n");
    const MenuRules::Enabled enabled = MenuRules::enabled(situation());
    switch (request.command) {
    case Control::Command::Status:
        return { Control::Done, Control::statusText(facts()) };
    case Control::Command::Show:
        if (mPresence == Presence::Headless)
            return { Control::Done, QStringLiteral("Brindlecot is running without a display: it has no window to show.\n") };
        // What comes forward takes the launcher's activation token, with which the desktop
        // gives it the keyboard where it would refuse a program that asks for itself.
        if (mQuestionOpen) {
            WindowActivation::bringForward(mQuestion, request.token);
            return refusal(QString());
        }
        if (frmHosts *window = hostsWindow())
            WindowActivation::bringForward(window, request.token);
        else
            ShowTimeServersWithToken(request.token);
        return { Control::Done, QString() };
    case Control::Command::SyncNow:
        if (!enabled.synchronize)
            return refusal(QStringLiteral("The Time Servers window is open; Brindlecot synchronizes when it closes.\n"));
        mnuSynchronize_Click();
        return { Control::Done, QString() };
    case Control::Command::Pause:
    case Control::Command::Resume: {
        // Unlike the menu's item these do not toggle: asked for what is so already, they
        // change nothing and say so.
        const bool pause = request.command == Control::Command::Pause;
        if (mState.PauseChecked == pause)
            return { Control::Done, pause ? QStringLiteral("Synchronization is paused already.\n")
                                          : QStringLiteral("Synchronization is not paused.\n") };
        if (!enabled.pause)
            return refusal(closeWindowFirst);
        mnuPause_Click();
        return { Control::Done, QString() };
    }
    case Control::Command::Interval:
        if (!enabled.synchronize)
            return refusal(closeWindowFirst);
        mnuSynchronizeEvery_Click(request.interval);
        return { Control::Done, QString() };
    case Control::Command::Quit:
        // Whatever is open, as at the end of the session: an open Time Servers window is
        // closed as its Close does, an open question is answered No, and the data file is
        // written. The launcher's "Exit" action comes this way, and there the user would
        // not see a refusal. After the answer has gone out.
        QTimer::singleShot(0, this, &frmMain::Shutdown);
        return { Control::Done, QString() };
    }
    return { Control::BadRequest, QStringLiteral("unknown request\n") };
}

Control::Facts frmMain::facts() const
{
    Control::Facts facts;
    facts.trayAlert = mState.TrayAlert;
    facts.trayAlertMessage = mState.TrayAlertMessage;
    // The server records keep each server's last success from one run to the next; the
    // latest of them is the last success, as the Time Servers window shows it.
    for (qint32 i = 1; i <= mState.Hosts.count(); ++i) {
        const clsHosts::HostRef host = mState.Hosts.Item(i);
        if (!host)
            continue;
        if (host->HostActive() == 1)
            ++facts.activeServers;
        if (host->HostPollDate() != DateTime::Never && host->HostPollDate() > facts.lastSuccess) {
            facts.lastSuccess = host->HostPollDate();
            facts.lastServerPath = host->HostPath();
            facts.lastServerName = host->HostName();
            facts.correction = host->HostSynchError();
        }
    }
    // A success of this run whose server has been removed from the list since.
    if (mState.LastSynchDate > facts.lastSuccess) {
        facts.lastSuccess = mState.LastSynchDate;
        facts.lastServerPath.clear();
        facts.lastServerName.clear();
        facts.correction.reset();
    }
    // An attempt starts at the tick that takes pollTicks past pollLimit, one tick a second.
    if (!mState.PauseChecked && mState.HostsShowing != 1)
        facts.nextAttempt = std::max(0, mState.pollLimit - mState.pollTicks + 1);
    facts.interval = mState.Interval.code();
    facts.paused = mState.PauseChecked;
    facts.servers = mState.Hosts.count();
    facts.clockAccess = clockAccess;
    facts.serving = mLocalServer.State() == SocketControl::sckListening;
    facts.port = mPorts.server;
    if (otherTimeService)
        facts.otherTimeService = otherTimeService->running();
    return facts;
}
