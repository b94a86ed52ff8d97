#pragma once

// The command line: none is needed; --help and --version are answered as every Linux
// program does. Returns the exit code when the program is to end at once (0 after help or
// version, 2 for any other argument), or -1 when it starts as usual (no arguments).
int handleCommandLine(int argc, char *argv[]);
