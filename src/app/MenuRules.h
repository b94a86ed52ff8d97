#pragma once

// Which of the tray menu's commands may be used now. The menu, its commands themselves (a
// desktop that shows the menu over D-Bus may deliver a click on an item it shows disabled)
// and --sync-now from a later start follow these rules. --quit does not: like the end of the
// session, it ends the program whatever is open.
namespace MenuRules {

struct Situation {
    bool hostsOpen = false;    // the Time Servers window is open
    bool paused = false;       // "Pause Synchronization" is checked
    bool aboutOpen = false;    // the About window is open
    bool questionOpen = false; // the program waits for the answer to a question of its own
};

struct Enabled {
    bool synchronize = false; // "Synchronize Now", "Synchronize Every..." and its "Minute", "Hour", "Day"
    bool pause = false;
    bool hostList = false;    // "Edit Time Servers..."
    bool hostDefaults = false;
    bool about = false;
    bool pages = false;       // "Home Page...", "Report a Problem..." and "Help..."
    bool exit = false;
};

Enabled enabled(const Situation &now);

} // namespace MenuRules
