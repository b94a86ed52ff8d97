#include "platform/Desktop.h"

#include <QtGlobal>

bool desktopAvailable()
{
    // Qt cannot start its graphical side without a display server, so this is decided
    // before it is asked to.
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

QByteArray graphicalPlatforms()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return {};
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return "wayland;xcb;offscreen";
    return "xcb;offscreen";
}
