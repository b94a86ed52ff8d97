#pragma once

// The command line. Without arguments the program starts (-1). --help and --version are
// answered as every Linux program does (0). --show, --sync-now, --pause, --resume,
// --interval, --quit and --status are passed to the copy that runs already, and the exit
// status is its answer's (3 when no copy runs). Anything else is named on standard error (2).
int handleCommandLine(int argc, char *argv[]);
