#include "platform/Desktop.h"

#include <QtGlobal>

bool desktopAvailable()
{
    // Qt cannot start its graphical side without a display server and would abort, so
    // this is decided before it is asked to.
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
