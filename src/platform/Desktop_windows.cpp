#include "platform/Desktop.h"

// Windows always has its desktop and notification area for an interactive program.
bool desktopAvailable()
{
    return true;
}

QByteArray graphicalPlatforms()
{
    return {};
}
