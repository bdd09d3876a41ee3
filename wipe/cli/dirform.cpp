#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "wipe/cli/forms.h"
#include "wipe/erase/entry_action.h"
#include "wipe/names/paths.h"
#include "wipe/os/os.h"
#include "wipe/walk/dirlist.h"

// Matches that cannot be erased at all: the full path does not fit a list
// node, or (Windows) the name has no exact form in the file functions' text.
// They are reported and counted as failures once the user has said yes.
struct Unworkable {
  std::string path;
  bool usable;
};

static void consider(const char* pattern, size_t dirLength, const OsEntry& e, DirList& list,
                     std::vector<Unworkable>& unworkable) {
  if (entryAction(e, EntryContext::DirectoryForm) != EntryAction::EraseTree) return;
  char full[kPathMax];
  if (!e.usable || !joinPath(full, pattern, dirLength, e.name) || !list.append(full, e))
    unworkable.push_back({std::string(pattern, dirLength) + e.name, e.usable});
}

// Collects the directories the pattern matches into list, in listing order,
// from dir, its folder part held open. A plain name is looked up; a pattern
// lists a folder whose last component is not a link (osOpenDirPath).
static void collect(const char* pattern, OsDir& dir, DirList& list, std::vector<Unworkable>& unworkable) {
  size_t dirLength = dirPartLength(pattern);
  const char* name = pattern + dirLength;
  char dirPart[kPathMax];
  bool wild = hasWildcards(name);
  if (*name == '\0' || !joinPath(dirPart, pattern, dirLength, "") || !osOpenDirPath(dirPart, !wild, dir)) return;
  OsEntry e;
  if (!wild) {
    if (osLookup(dir, name, e)) consider(pattern, dirLength, e, list, unworkable);
    return;
  }
  OsListing listing;
  for (bool more = listing.first(dir, name, e); more; more = listing.next(e))
    consider(pattern, dirLength, e, list, unworkable);
}

int runDirectoryForm(const OsArgument* argument) {
  const char* pattern = argument ? argument->text : nullptr;
  DirList list;
  std::vector<Unworkable> unworkable;
  DirRef dir(new (std::nothrow) OsDir);  // held open from the listing to the last erase
  if (argument && argument->exact && dir) collect(pattern, *dir, list, unworkable);  // "-d" alone matches nothing
  if (list.empty() && unworkable.empty()) {
    std::puts("No matching directories found.");
    return 1;
  }
  // Singular or plural follows the wildcard, not the number of matches.
  int answer = askConfirmation(argument->wild);
  if (answer < 0) {
    // Without a console nobody can have said yes.
    std::puts("No console to answer the question: nothing was erased.");
    return 1;
  }
  std::puts("");
  int result = 1;
  if (answer == 1) {
    EraseTally tally;
    list.eraseAll(dir, tally, true);
    runQueue();
    if (tally.anyFailed) anyEraseFailed = true;
    if (tally.done > 0) result = 0;
    for (const Unworkable& u : unworkable) {
      if (u.usable)
        std::printf("Erasing directory %s%c\n", u.path.c_str(), pathSeparator());
      else
        std::printf("error opening %s file\n", u.path.c_str());
      anyEraseFailed = true;
    }
  }
  if (anyEraseFailed) std::puts("Some directories couldn't be erased.");
  if (result == 0) std::puts("done.");
  return result;
}
