#include "platform/DesktopNotification.h"

// Windows has a notification area wherever it has a desktop: the icon's own messages serve.
bool sendDesktopNotification(const QString &, const QString &, const QImage &)
{
    return false;
}
