#include "app/frmMain.h"

#include "common/ProgramState.h"
#include "servers/DataFile.h"
#include "servers/DefaultServers.h"
#include "ui/frmHosts.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>

namespace {

constexpr int ClientTick = 1000;  // milliseconds
constexpr int ServerTick = 10000; // milliseconds

} // namespace

frmMain::frmMain(ProgramState &state, QObject *parent) : frmMain(state, Ports {}, parent) { }

frmMain::frmMain(ProgramState &state, const Ports &ports, QObject *parent)
    : QObject(parent)
    , mState(state)
    , mPorts(ports)
    , mClient(state, ports.client)
    , mServer(state, ports.server, ports.serverAddress)
{
    tmrClient.setInterval(ClientTick);
    tmrServer.setInterval(ServerTick);
    connect(&tmrClient, &QTimer::timeout, this, &frmMain::tmrClient_Timer);
    connect(&tmrServer, &QTimer::timeout, this, &frmMain::tmrServer_Timer);
}

frmMain::~frmMain()
{
    // The window works on the state this object shares; it does not outlive it.
    delete mHosts.data();
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
}

void frmMain::Form_QueryUnload()
{
    tmrClient.stop();
    tmrServer.stop();
    // Both controls reach the closed state within Close() itself, so there is nothing to
    // wait for before the file is written.
    if (mClient.tcpClient().State() != 0)
        mClient.tcpClient().Close();
    if (mServer.State() != 0)
        mServer.Close();
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
    emit unloaded();
}

void frmMain::tmrClient_Timer()
{
    mClient.tmrClient_Timer();
}

void frmMain::tmrServer_Timer()
{
    mServer.tmrServer_Timer();
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
    connect(window, &frmHosts::Unloaded, this, &frmMain::TimeServers_Unloaded);
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

void frmMain::TimeServers_Unloaded()
{
    // At shutdown the file is written once more, and no attempt is started.
    if (mUnloaded)
        return;
    // What the user changed reaches the disk now, not only when the program ends.
    SaveDataFile(mState);
    SynchronizeNow();
}

frmHosts *frmMain::timeServers() const
{
    return mHosts.data();
}
