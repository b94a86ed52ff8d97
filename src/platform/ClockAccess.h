#pragma once

#include <QString>

// How an administrator lets an account set the clock on this system.
enum class ClockGrant {
    HelperGroup, // Linux: membership of the installed clock helper's group
    SystemRight, // Windows: the right "Change the system time" (SeSystemtimePrivilege)
};

// Who may set the computer's clock from this process, as the system sees it now.
//
// On Linux the installed program itself holds no privilege: a small helper that only
// members of a system group may run sets the clock for it (and binds port 37, see
// PortHelper). On Windows there is no helper: the process holds the right or it does not.
struct ClockAccess {
    bool privileged = false;      // this process may set the clock itself
    bool helperInstalled = false; // the installed clock helper is there
    bool helperRunnable = false;  // and this account may run it
    QString account;              // the account's login name
    ClockGrant grant = ClockGrant::HelperGroup;
};

// Where the installed clock helper lies: beside the executable as the install lays it out.
QString installedClockHelper();

// The facts for this process and the given helper.
ClockAccess readClockAccess(const QString &helper = installedClockHelper());
