#pragma once

#include <QString>

// Where the data file lives on this system, with a trailing separator. The folder's last
// component is always "Brindlecot".
QString defaultDataFolder();
