#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "wipe/erase/batch.h"
#include "wipe/erase/entry_action.h"
#include "wipe/names/paths.h"
#include "wipe/os/os.h"
#include "wipe/walk/dirlist.h"
#include "wipe/walk/dirwalk.h"

// An entry that cannot be worked on: its name does not fit, or (Windows)
// has no exact form that the file functions' text can hold, or (POSIX) it is
// the root of another mount. It is reported with the line it would have had
// (a directory's line without anything under it) and counted as a failure,
// never shortened, replaced by a nearest name, or entered.
static void reportEntry(const char* prefix, const OsEntry& e, EntryAction action, EraseTally& tally) {
  if (action == EntryAction::EraseTree && e.usable)
    queueLine("Erasing directory %s%s%c\n", prefix, e.name, pathSeparator());
  else
    queueLine("error opening %s%s file\n", prefix, e.name);
  tally.anyFailed = true;
}

std::string listingErrorLine(const char* dirPart) {
  std::string shown = *dirPart ? dirPart : std::string(".") + pathSeparator();
  return "error reading directory " + shown + "\n";
}

void eraseDirectory(const DirRef& parent, const OsEntry& e, const char* path, EraseTally& tally, bool counted) {
  queueLine("Erasing directory %s%c\n", path, pathSeparator());
  makeRoomForDescriptors(2);  // the directory and its listing
  DirRef dir(new (std::nothrow) OsDir);
  char prefix[kPathMax];
  const char sep[2] = {pathSeparator(), '\0'};
  if (!dir || !osOpenDirAt(*parent, e, *dir) || !joinPath(prefix, path, std::strlen(path), sep)) {
    tally.anyFailed = true;
    return;
  }
  size_t prefixLength = std::strlen(prefix);

  DirList subdirs;
  subdirs.folder = prefix;
  {
    OsListing listing;
    OsEntry c;
    char full[kPathMax];
    // A listing that cannot be opened leaves the directory untouched. (A
    // directory that is not a volume's root always lists "." and "..".)
    if (!listing.first(*dir, nullptr, c)) {
      if (listing.failed) queueLine("%s", listingErrorLine(prefix).c_str());
      tally.anyFailed = true;
      return;
    }
    for (bool more = true; more; more = listing.next(c)) {
      EntryAction action = entryAction(c, EntryContext::Tree);
      if (action == EntryAction::Skip) continue;
      // The root of another mount (a folder or file of another place bound
      // into the tree) is not part of it: neither entered, nor erased, nor
      // removed; it is reported as an entry that cannot be worked on, and
      // the tree stays.
      if (c.mountRoot || !c.usable || !joinPath(full, prefix, prefixLength, c.name)) {
        reportEntry(prefix, c, action, tally);
      } else if (action == EntryAction::EraseTree) {
        if (!subdirs.append(c)) tally.anyFailed = true;
      } else {
        queueFile(dir, c, full, tally, false);  // a file, or a link removed as a name
      }
    }
    // Entries after a listing error are unseen: the tree cannot be whole.
    if (listing.failed) {
      queueLine("%s", listingErrorLine(prefix).c_str());
      tally.anyFailed = true;
    }
  }
  subdirs.eraseAll(dir, tally, false);
  queueRemoveDir(parent, e, dir, path, tally, counted);
}
