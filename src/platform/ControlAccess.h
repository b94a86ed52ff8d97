#pragma once

#include <QString>
#include <QtGlobal>

// Where the running copy takes commands (QLocalServer's name for it), and who may give them
// and answer them.

// The control socket of the copy whose data folder this is: one per data folder, as the
// single-instance lock is. In the user's runtime folder ($XDG_RUNTIME_DIR) when that is a
// folder of this account's own that only it may enter; otherwise beside the lock in the data
// folder.
QString controlSocketName(const QString &dataFolder);

// Why $XDG_RUNTIME_DIR, set, is not used for the control socket (as "mode 1777, not
// 0700"); empty when it is used or not set.
QString runtimeFolderRefusal(const QString &dataFolder);

// True when the process at the other end of this connected local socket runs as the same
// account as this one, or as the administrator: it may give the running copy commands.
bool peerMayControl(qintptr socketDescriptor);

// True when the running copy at the other end of this connected local socket may be
// believed: it runs as this account, as the administrator, or as the account that owns the
// data folder (the administrator asking the system service's copy).
bool peerMayAnswer(qintptr socketDescriptor, const QString &dataFolder);
