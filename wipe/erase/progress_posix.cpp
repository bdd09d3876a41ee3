#include <unistd.h>

#include "wipe/erase/progress.h"

bool stderrIsTerminal() { return isatty(2) == 1; }
