#include "app/frmMain.h"

#include "app/ClockNotice.h"
#include "app/TrayDisplay.h"
#include "app/TrayIcon.h"
#include "app/WebPages.h"
#include "app/frmAbout.h"
#include "state/ProgramState.h"
#include "platform/Pictures.h"
#include "servers/DataFile.h"
#include "servers/DefaultServers.h"
#include "ui/frmHosts.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QSysInfo>

namespace {

constexpr int ClientTick = 1000;   // milliseconds
constexpr int ServerTick = 10000;  // milliseconds
constexpr int IconTick = 1000;     // milliseconds
constexpr int NoticeDelay = 2000;  // milliseconds: the desktop places a new icon first
constexpr int NoticeShown = 20000; // milliseconds

} // namespace

frmMain::frmMain(ProgramState &state, QObject *parent) : frmMain(state, Ports {}, parent) { }

frmMain::frmMain(ProgramState &state, const Ports &ports, QObject *parent)
    : QObject(parent)
    , mState(state)
    , mPorts(ports)
    , mClient(state, ports.client)
    , mLocalServer(state, ports.server, ports.serverAddress)
{
    tmrClient.setInterval(ClientTick);
    tmrServer.setInterval(ServerTick);
    connect(&tmrClient, &QTimer::timeout, this, &frmMain::tmrClient_Timer);
    connect(&tmrServer, &QTimer::timeout, this, &frmMain::tmrServer_Timer);
    tmrIcon.setInterval(IconTick);
    connect(&tmrIcon, &QTimer::timeout, this, &frmMain::tmrIcon_Timer);
    tmrIcon.start();
    programFolder = QCoreApplication::applicationDirPath();
    clockAccess = readClockAccess();
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
    mState.AboutShowing = 0;
    if (DataFileIsValid(dataFilePath(mState)))
        LoadDataFile(mState);
    else
        AddDefaultServers(mState.Hosts);
    mState.TrayAlert = 3;
    mState.TrayAlertShowing = 0;
    mState.pollLimit = 10;
    mState.pollTicks = 0;
    tmrClient.start();
    tmrServer.start();
    AddTrayIcon();
    TellClockAccess();
}

void frmMain::Form_QueryUnload()
{
    tmrClient.stop();
    tmrServer.stop();
    // Both controls reach the closed state within Close() itself, so there is nothing to
    // wait for before the file is written.
    if (mClient.tcpClient().State() != 0)
        mClient.tcpClient().Close();
    if (mLocalServer.State() != 0)
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
    // An open Time Servers window hands its check boxes over before the file is written.
    if (mHosts)
        mHosts->Form_Unload();
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
    if (mState.HostsShowing == 1 || mUnloaded)
        return;
    // Without a desktop there is nothing to show it on.
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
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
    window->show();
    window->raise();
    window->activateWindow();
}

void frmMain::HostsWindow_Unloaded()
{
    // At shutdown the file is written once more, and no attempt is started.
    if (mUnloaded)
        return;
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
    if (mTray)
        return;
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        mHeadless = true;
        return;
    }
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
}

void frmMain::tmrIcon_Timer()
{
    const auto tick = TrayDisplay::trayTick(mState.TrayAlert, mState.TrayAlertShowing, mState.TrayAlertMessage,
                                            mState.LastSynchDate, mSynchronizedToolTip);
    if (!tick)
        return;
    mState.TrayAlertShowing = tick->trayAlertShowing;
    if (!mTray) {
        // Once per change of text: a blinking state is one line, not one a second.
        if (mHeadless && !mUnloaded && tick->toolTip != mHeadlessToolTip) {
            mHeadlessToolTip = tick->toolTip;
            emit headlessLine(tick->toolTip);
        }
        return;
    }
    // The picture is looked up only when its number changes; the icon itself skips what
    // it shows already.
    int index = mTray->shownIndex();
    if (tick->picture != mShownPicture) {
        mShownPicture = tick->picture;
        index = GetIconIndex(tick->picture);
    }
    mTray->change(index, tick->toolTip);
}

void frmMain::TellClockAccess()
{
    if (!ClockNotice::applies(clockAccess))
        return;
    const QString text = ClockNotice::text(clockAccess.account);
    if (!mTray) {
        if (mHeadless)
            emit headlessLine(text);
        return;
    }
    QTimer::singleShot(NoticeDelay, this, [this, text] {
        if (mTray)
            mTray->icon().showMessage(ClockNotice::title(), text, QSystemTrayIcon::Information, NoticeShown);
    });
}

int frmMain::GetIconIndex(int picture)
{
    QString os;
    const bool known = GetOS(os);
    return TrayDisplay::iconIndex(picture, known, os);
}

bool frmMain::GetOS(QString &theOS)
{
    const QString name = QSysInfo::prettyProductName();
    if (name.isEmpty())
        return false;
    theOS = name;
    return true;
}

frmAbout *frmMain::aboutWindow() const
{
    return mAbout.data();
}

void frmMain::ShowAbout()
{
    if (mAbout || mState.AboutShowing != 0)
        return;
    mAbout = new frmAbout(mState, *this);
    mAbout->show();
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
    if (mState.PauseChecked)
        QApplication::beep();
    else
        ShowTimeServers();
}

void frmMain::mnuSysTray_AboutToShow()
{
    if (!mTray)
        return;
    TrayIcon &tray = *mTray;
    const bool hostsOpen = mState.HostsShowing == 1;
    const bool synchronize = !hostsOpen && !mState.PauseChecked;
    tray.mnuSynchronize->setEnabled(synchronize);
    tray.mnuSynchronize0->menuAction()->setEnabled(synchronize);
    for (QAction *item : { tray.mnuHostList, tray.mnuHostDefaults, tray.mnuPause, tray.mnuExit })
        item->setEnabled(!hostsOpen);
    tray.mnuAbout->setEnabled(!hostsOpen && mState.AboutShowing == 0);

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
        mState.TrayAlert = -1;
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
    const int answer = box.exec();
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
