#include "platform/TerminationSignals.h"

#include <QMetaObject>

#include <atomic>
#include <qt_windows.h>

namespace {

// After the handler returns from a console's close, log-off or shut-down event, the system
// ends the process at once; it allows the handler about five seconds before it ends it
// anyway. The handler waits for the shutdown to finish (the object is destroyed after the
// event loop has ended, the data file written) within that time.
constexpr DWORD ShutdownWaitMs = 4500; // milliseconds

// The console's control handler runs on a thread of its own and is given nothing but the
// event, so it reaches the installed object through these globals.
std::atomic<TerminationSignals *> installedObject { nullptr };

// Set when the installed object goes. One for the whole process, never closed, so that a
// handler still waiting on it never holds a handle that has been closed.
HANDLE shutdownDone()
{
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

BOOL WINAPI onConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: {
        TerminationSignals *target = installedObject.load();
        if (!target)
            return FALSE;
        QMetaObject::invokeMethod(target, &TerminationSignals::closeRequested, Qt::QueuedConnection);
        if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
            WaitForSingleObject(shutdownDone(), ShutdownWaitMs);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

} // namespace

// The end of the desktop session reaches a windowed program through Qt itself; this covers
// a program started from a console: Ctrl+C, Ctrl+Break, the console window closed, and the
// log-off or shut-down of the session it runs in.
struct TerminationSignals::Private {
    bool installed = false;
};

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) { }

TerminationSignals::~TerminationSignals()
{
    if (!d->installed)
        return;
    installedObject.store(nullptr);
    SetEvent(shutdownDone()); // a handler waiting for the shutdown may return now
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}

bool TerminationSignals::install()
{
    if (d->installed)
        return true;
    TerminationSignals *expected = nullptr;
    if (!installedObject.compare_exchange_strong(expected, this))
        return false;
    if (!shutdownDone() || !ResetEvent(shutdownDone()) || !SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
        installedObject.store(nullptr);
        return false;
    }
    d->installed = true;
    return true;
}
