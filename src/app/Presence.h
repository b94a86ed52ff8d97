#pragma once

#include <QString>

// Where the program shows itself, decided once at start-up.
enum class Presence {
    // No desktop to show anything on: no display, one that cannot be reached, or a platform
    // that draws nowhere. The state goes to standard error as lines of text.
    Headless,
    // A desktop with a notification area: the icon is the program's face.
    Tray,
    // A desktop without a notification area (yet): the icon waits for one to appear, and
    // meanwhile the state goes to standard error and the desktop's notifications tell the
    // user where the program is.
    DisplayWithoutTray,
};

// The one decision. graphical: a graphical application object was made; platformName: the
// Qt platform it runs on; trayAvailable: a notification area is there now.
Presence decidePresence(bool graphical, const QString &platformName, bool trayAvailable);

// The same, for the application object of this process.
Presence decidePresence();
