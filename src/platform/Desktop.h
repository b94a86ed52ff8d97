#pragma once

#include <QByteArray>

// Whether a graphical desktop session is there to show windows and an icon in. Without
// one the program runs on as a headless time client and server.
bool desktopAvailable();

// The graphical platforms to try, in order, ending with one that needs no display, so
// that a desktop that cannot be reached (a stale DISPLAY, say) leaves the program running
// headless instead of ending it. Empty when the user has chosen a platform.
QByteArray graphicalPlatforms();
