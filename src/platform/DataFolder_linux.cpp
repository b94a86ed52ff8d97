#include "platform/DataFolder.h"

#include <QStandardPaths>

// $XDG_DATA_HOME/Brindlecot/, or ~/.local/share/Brindlecot/ when the variable is unset.
QString defaultDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1String("/Brindlecot/");
}
