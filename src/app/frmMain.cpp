#include "app/frmMain.h"

#include "common/ProgramState.h"
#include "servers/DataFile.h"
#include "servers/DefaultServers.h"

namespace {

constexpr int ClientTick = 1000;  // milliseconds
constexpr int ServerTick = 10000; // milliseconds

} // namespace

frmMain::frmMain(ProgramState &state, QObject *parent) : frmMain(state, Ports {}, parent) { }

frmMain::frmMain(ProgramState &state, const Ports &ports, QObject *parent)
    : QObject(parent)
    , mState(state)
    , mClient(state, ports.client)
    , mServer(state, ports.server, ports.serverAddress)
{
    tmrClient.setInterval(ClientTick);
    tmrServer.setInterval(ServerTick);
    connect(&tmrClient, &QTimer::timeout, this, &frmMain::tmrClient_Timer);
    connect(&tmrServer, &QTimer::timeout, this, &frmMain::tmrServer_Timer);
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
    if (mState.HostsShowing == 1)
        return;
    // The Time Servers window opens here.
}
