#pragma once

// The program's text (--help, --status, the state lines) goes to the terminal it was
// started from. On Windows the program is a windowed one, so that no console window opens
// beside the icon when it starts from the Start menu or at log-on; started from a console,
// it writes to that console instead, unless its output is redirected already. Elsewhere the
// standard streams are the terminal's anyway, and this does nothing.
void attachParentConsole();
