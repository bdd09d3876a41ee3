// Windows has no call that starts the write-back of a range without waiting
// for it; the cache manager writes behind on its own.
#include "writeback.h"

void writebackStart(OsFile&, uint64_t, size_t) {}

void writebackFinish(OsFile&, uint64_t, size_t) {}
