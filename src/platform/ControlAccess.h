#pragma once

#include <QString>
#include <QtGlobal>

// Where the running copy takes commands (QLocalServer's name for it), and who may give them.

// The control socket of the copy whose data folder this is: one per data folder, as the
// single-instance lock is. In the user's runtime folder, which only the user may enter;
// without one, beside the lock in the data folder.
QString controlSocketName(const QString &dataFolder);

// True when the process at the other end of this connected local socket runs as the same
// account as this one, or as the administrator.
bool peerMayControl(qintptr socketDescriptor);
