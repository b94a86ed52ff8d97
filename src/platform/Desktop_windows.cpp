#include "platform/Desktop.h"

// Windows always has its desktop and notification area for an interactive program.
DesktopStart findDesktop()
{
    return DesktopStart { true, {} };
}

bool desktopAvailable()
{
    return findDesktop().available;
}

QByteArray graphicalPlatforms()
{
    return findDesktop().platforms;
}
