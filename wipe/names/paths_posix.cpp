// The POSIX path rules of paths.h.
#include "wipe/names/paths.h"

bool isPathSeparator(char c) { return c == '/'; }
char pathSeparator() { return '/'; }
size_t textCharLength(const char*) { return 1; }
