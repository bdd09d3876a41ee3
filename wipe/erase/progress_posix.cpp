#include <unistd.h>

#include "progress.h"

bool stderrIsTerminal() { return isatty(2) == 1; }
