#pragma once

// The program's start: one copy at a time, then the main object on the event loop until
// it is unloaded. Returns the process's exit code.
int Main(int argc, char *argv[]);
