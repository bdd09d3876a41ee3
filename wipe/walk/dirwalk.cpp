#include <cstring>
#include <memory>
#include <new>

#include "wipe/erase/batch.h"
#include "wipe/erase/entry_action.h"
#include "wipe/names/paths.h"
#include "wipe/os/os.h"
#include "wipe/walk/dirlist.h"
#include "wipe/walk/dirwalk.h"

// An entry that cannot be worked on by a path: its name does not fit, or
// (Windows) has no exact form that the file functions' text can hold. It is
// reported with the error line it would have had and counted as a failure,
// never shortened or replaced by a nearest name.
static void reportEntry(const char* prefix, const OsEntry& e, EntryAction action, EraseTally& tally) {
  if (action == EntryAction::EraseTree && e.usable)
    queueLine("Erasing directory %s%s%c\n", prefix, e.name, pathSeparator());
  else
    queueLine("error opening %s%s file\n", prefix, e.name);
  tally.anyFailed = true;
}

void eraseDirectory(const DirRef& parent, const OsEntry& e, const char* path, EraseTally& tally, bool counted) {
  queueLine("Erasing directory %s%c\n", path, pathSeparator());
  DirRef dir(new (std::nothrow) OsDir);
  char prefix[kPathMax];
  const char sep[2] = {pathSeparator(), '\0'};
  if (!dir || !osOpenDirAt(*parent, e, *dir) || !joinPath(prefix, path, std::strlen(path), sep)) {
    tally.anyFailed = true;
    return;
  }
  size_t prefixLength = std::strlen(prefix);

  DirList subdirs;
  {
    OsListing listing;
    OsEntry c;
    char full[kPathMax];
    // A listing that cannot be opened leaves the directory untouched. (A
    // directory that is not a volume's root always lists "." and "..".)
    if (!listing.first(*dir, nullptr, c)) {
      tally.anyFailed = true;
      return;
    }
    for (bool more = true; more; more = listing.next(c)) {
      EntryAction action = entryAction(c, EntryContext::Tree);
      if (action == EntryAction::Skip) continue;
      if (!c.usable || !joinPath(full, prefix, prefixLength, c.name)) {
        reportEntry(prefix, c, action, tally);
      } else if (action == EntryAction::EraseTree) {
        if (!subdirs.append(full, c)) tally.anyFailed = true;
      } else {
        queueFile(dir, c, full, nullptr);  // a file, or a link removed as a name
      }
    }
  }
  subdirs.eraseAll(dir, tally, false);
  queueRemoveDir(parent, e, dir, tally, counted);
}
