#include "platform/TerminationSignals.h"

#include <QMetaObject>

#include <atomic>
#include <qt_windows.h>

namespace {

// The console's control handler runs on a thread of its own and is given nothing but the
// event, so it reaches the installed object through this one global.
std::atomic<TerminationSignals *> installedObject { nullptr };

BOOL WINAPI onConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        if (TerminationSignals *target = installedObject.load()) {
            QMetaObject::invokeMethod(target, &TerminationSignals::closeRequested, Qt::QueuedConnection);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

// The end of the desktop session reaches a windowed program through Qt itself; this covers
// a program started from a console.
struct TerminationSignals::Private {
    bool installed = false;
};

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) { }

TerminationSignals::~TerminationSignals()
{
    if (!d->installed)
        return;
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    installedObject.store(nullptr);
}

bool TerminationSignals::install()
{
    if (d->installed)
        return true;
    TerminationSignals *expected = nullptr;
    if (!installedObject.compare_exchange_strong(expected, this))
        return false;
    if (!SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
        installedObject.store(nullptr);
        return false;
    }
    d->installed = true;
    return true;
}
