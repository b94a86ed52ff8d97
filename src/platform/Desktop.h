#pragma once

#include <QByteArray>

// How the program starts its graphical side, decided before Qt is asked to reach a display,
// so that a display that cannot be reached costs nothing but a quick look.
struct DesktopStart {
    // A graphical desktop session is there to show windows and an icon in. Without one the
    // program runs on as a headless time client and server.
    bool available = false;
    // The Qt platforms to try, in order: only the display servers that answered, ending with
    // one that needs no display, so that a server that answers but then refuses the program
    // (its access control, say) leaves it running headless instead of ending it. Empty when
    // the user has chosen a platform (QT_QPA_PLATFORM), which is then used as chosen.
    QByteArray platforms;
};

// Looks for the desktop session: the Wayland compositor's and the X server's sockets named
// by the environment, each asked once with a bounded wait.
DesktopStart findDesktop();

// The same two answers on their own (each looks again).
bool desktopAvailable();
QByteArray graphicalPlatforms();
