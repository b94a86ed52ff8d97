#pragma once

#include "sync/AutoClient.h"
#include "sync/TimeProtocol.h"
#include "sync/TimeServer.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>

class frmHosts;
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

    explicit frmMain(ProgramState &state, QObject *parent = nullptr);
    frmMain(ProgramState &state, const Ports &ports, QObject *parent = nullptr);
    ~frmMain() override;

    // Reads the data file (or takes the built-in servers), resets the tray state and
    // countdown, and starts the countdown and the server timer.
    void Form_Load();
    // The close request: stops the timers and closes both connections. Never cancelled.
    void Form_QueryUnload();
    // Writes the data file.
    void Form_Unload();
    // The whole shutdown, whoever asks for it (Exit, a signal, the end of the session);
    // runs once, then emits unloaded().
    void Shutdown();

    void tmrClient_Timer();
    void tmrServer_Timer();
    void SynchronizeNow();
    // Opens the Time Servers window unless it is open already.
    void ShowTimeServers();
    // The Time Servers window has closed: its changes are saved and an attempt starts.
    void TimeServers_Unloaded();
    // The open Time Servers window, or null.
    frmHosts *timeServers() const;

    AutoClient &client() { return mClient; }
    TimeServer &server() { return mServer; }

    QTimer tmrClient; // 1000 ms: the synchronization countdown
    QTimer tmrServer; // 10000 ms: keeps the local server listening

signals:
    // Right before the data file is written at shutdown.
    void savingDataFile();
    void unloaded();

private:
    ProgramState &mState;
    Ports mPorts;
    AutoClient mClient;
    TimeServer mServer;
    bool mUnloaded = false;
    QPointer<frmHosts> mHosts;
};
