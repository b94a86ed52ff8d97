#pragma once

#include <QString>

struct ClockAccess;

// The one notice at start-up for an account that may not set the clock, though an
// administrator could let it: on Linux the helper is there, but only for its group; on
// Windows the account lacks the right to change the system time.
namespace ClockNotice {

// True when this process may not set the clock and an administrator could change that:
// on Linux, when the installed helper exists but this account may not run it (never from
// the build tree, where there is no installed helper); on Windows, whenever the right is
// missing.
bool applies(const ClockAccess &access);

QString title();
// What the account may not do, and how an administrator allows it on this system.
QString text(const ClockAccess &access);

} // namespace ClockNotice
