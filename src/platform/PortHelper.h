#pragma once

#include <QString>
#include <QtGlobal>

// Port 37 for an account that may not bind it: the installed helper (the clock helper,
// see ClockAccess) binds it on every address and hands the listening descriptor back over
// a Unix socket. Only members of the helper's group may run it.
namespace PortHelper {

constexpr int DefaultTimeLimit = 5000; // milliseconds

// Runs `helper listen` (no shell, an empty environment) and returns the listening
// descriptor it hands back, now owned by the caller; -1 when the helper is missing, may not
// be run, fails, or sends nothing within the time limit. Waits at most about twice the
// time limit (the answer, then the helper's end).
qintptr askListener(const QString &helper, int timeLimit = DefaultTimeLimit);

// The descriptor that the peer of the Unix socket `channel` sends (SCM_RIGHTS) with at
// least one byte, waiting at most `timeLimit` milliseconds; -1 when the peer closes,
// sends no descriptor, or sends nothing in time. Extra descriptors are closed.
qintptr receiveDescriptor(int channel, int timeLimit);

} // namespace PortHelper
