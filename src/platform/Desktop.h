#pragma once

// Whether a graphical desktop session is there to show windows and an icon in. Without
// one the program runs on as a headless time client and server.
bool desktopAvailable();
