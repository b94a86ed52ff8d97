#include "platform/Console.h"

void attachParentConsole() { }
