// The shipped program's side of testhooks.h: no hook is ever set.
#include "wipe/os/testhooks.h"

bool testClock(OsUtcTime&) { return false; }
bool testSettingsPath(const char*&) { return false; }
void testSnapshot(OsFile&, uint64_t) {}
bool testOneByOne() { return false; }
