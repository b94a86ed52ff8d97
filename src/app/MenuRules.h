#pragma once

// Which of the tray menu's commands may be used now. The menu and the commands that later
// starts pass on (--sync-now, --quit) follow the same rules.
namespace MenuRules {

struct Situation {
    bool hostsOpen = false;    // the Time Servers window is open
    bool paused = false;       // "Pause Synchronization" is checked
    bool aboutOpen = false;    // the About window is open
    bool questionOpen = false; // the program waits for the answer to a question of its own
};

struct Enabled {
    bool synchronize = false; // "Synchronize Now" and "Synchronize Every..."
    bool pause = false;
    bool hostList = false;    // "Edit Time Servers..."
    bool hostDefaults = false;
    bool about = false;
    bool pages = false;       // "Home Page...", "Report a Problem..." and "Help..."
    bool exit = false;
};

Enabled enabled(const Situation &now);

} // namespace MenuRules
