#pragma once

#include <QString>

// Where the data file lives on this system, with a trailing separator. The folder's last
// component is always "Brindlecot".
QString defaultDataFolder();

// Creates the data folder with any missing parents. On Linux the folder itself is made so
// that only this account may enter it (0700 whatever the umask), and a folder that this
// account owns but an earlier version left open to others is closed to them: the data
// file names the servers that set this account's clock, and the lock decides which copy
// runs. On Windows it is the all-users folder, whose rights the installer sets. Failures are
// ignored: a folder that cannot be made shows later as a file that cannot be opened.
void createPrivateFolder(const QString &dataFolder);

// Closes a file that this account owns to every other account (0600 on Linux), given its
// open descriptor: a file that another account or the umask left readable or writable by
// others is tightened when the program opens it. Anything but a regular file of this
// account is left as it is. Nothing on Windows.
void keepFilePrivate(int descriptor);

// The same for the file at the path, as it is (a symbolic link there is not followed and
// its target is left alone).
void keepFilePrivate(const QString &path);
