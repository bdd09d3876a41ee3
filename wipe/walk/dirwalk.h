// Erasing a whole directory tree, relative to open directories.
#pragma once

#include "wipe/erase/batch.h"
#include "wipe/os/os.h"

// Erases the directory tree listed as entry e of parent, printed as path:
// prints "Erasing directory" with it, erases every file, then every
// subdirectory depth first, then removes the directory, all through the
// queue (erase/batch.h), whose order is this one. Anything that stays sets
// tally.anyFailed; the directory's own removal adds one to tally.done when
// counted. Works relative to open directories from start to end: a
// directory that is no longer the one listed (swapped for a link, say) is
// not entered.
void eraseDirectory(const DirRef& parent, const OsEntry& e, const char* path, EraseTally& tally, bool counted);
