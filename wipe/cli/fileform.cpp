// The file forms: one file by name, or every file a pattern matches.
#include <cstdio>
#include <cstring>
#include <new>

#include "wipe/cli/forms.h"
#include "wipe/erase/batch.h"
#include "wipe/erase/entry_action.h"
#include "wipe/erase/erase.h"
#include "wipe/names/paths.h"
#include "wipe/os/os.h"

bool anyEraseFailed = false;

// The folder a pattern lists is opened once, and every match is erased
// relative to it; its last component must not be a link (osOpenDirPath). A
// folder that cannot be opened matches nothing, as a search that cannot start.
// A pattern the file functions' text cannot hold as typed (not exact)
// matches nothing.
static int runPatternForm(const char* pattern, bool exact) {
  size_t dirLength = dirPartLength(pattern);
  char dirPart[kPathMax];
  EraseTally tally;
  DirRef dir(new (std::nothrow) OsDir);
  if (dir && exact && joinPath(dirPart, pattern, dirLength, "") && osOpenDirPath(dirPart, false, *dir)) {
    OsListing listing;
    OsEntry e;
    char full[kPathMax];
    for (bool more = listing.first(*dir, pattern + dirLength, e); more; more = listing.next(e)) {
      if (entryAction(e, EntryContext::FileForm) == EntryAction::Skip) continue;
      if (!e.usable || !joinPath(full, pattern, dirLength, e.name)) {
        queueLine("error opening %s%s file\n", dirPart, e.name);
        anyEraseFailed = true;
        continue;
      }
      queueFile(dir, e, full, &tally);
    }
  }
  runQueue();
  if (tally.anyFailed) anyEraseFailed = true;
  int result = tally.done > 0 ? 0 : 1;
  if (anyEraseFailed)
    std::puts("Some files couldn't be erased.");
  else if (result == 1)
    std::puts("No matching files found.");
  if (result == 0) std::puts("done.");
  return result;
}

// No search for a plain name: it is looked up in its folder, and anything
// that is not there as a file (missing, a directory, a link to one:
// entryAction) is an open failure (code 2).
static int runSingleFile(const char* argument, bool exact) {
  size_t dirLength = dirPartLength(argument);
  char dirPart[kPathMax];
  OsDir dir;
  OsEntry e;
  bool found = exact && argument[dirLength] != '\0' && joinPath(dirPart, argument, dirLength, "") &&
               osOpenDirPath(dirPart, true, dir) && osLookup(dir, argument + dirLength, e) && e.usable &&
               entryAction(e, EntryContext::FileForm) != EntryAction::Skip;
  if (!found) {
    std::printf("error opening %s file\n", argument);
    return OpenFailed;
  }
  EraseStatus status = eraseFile(dir, e, argument);
  if (status == Erased) std::puts("done.");
  return status;
}

int runFileForm(const OsArgument& argument) {
  return argument.wild ? runPatternForm(argument.text, argument.exact)
                       : runSingleFile(argument.text, argument.exact);
}
