#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "wipe/cli/forms.h"
#include "wipe/erase/entry_action.h"
#include "wipe/erase/report.h"
#include "wipe/names/paths.h"
#include "wipe/os/os.h"
#include "wipe/walk/dirlist.h"
#include "wipe/walk/dirwalk.h"

// Matches that cannot be erased at all: the full path does not fit a list
// node, or (Windows) the name has no exact form in the file functions' text;
// and a listing of the folder cut short by an error, which may have missed
// some. Each is the line that reports it, printed and counted as a failure
// once the user has said yes.
using Unworkable = std::string;

static void consider(const char* pattern, size_t dirLength, const OsEntry& e, DirList& list,
                     std::vector<Unworkable>& unworkable) {
  if (entryAction(e, EntryContext::DirectoryForm) != EntryAction::EraseTree) return;
  if (!e.usable || !list.append(e)) {
    std::string path = std::string(pattern, dirLength) + e.name;
    unworkable.push_back(e.usable ? "Erasing directory " + path + pathSeparator() + "\n"
                                  : "error opening " + path + " file\n");
  }
}

// Collects the directories the pattern matches into list, in listing order,
// from dir, its folder part held open. A plain name is looked up; a pattern
// lists a folder whose last component is not a link (osOpenDirPath);
// cutShort says that an error stopped that listing, so that matches may
// have been missed.
static void collect(const char* pattern, OsDir& dir, DirList& list, std::vector<Unworkable>& unworkable,
                    bool& cutShort) {
  size_t dirLength = dirPartLength(pattern);
  const char* name = pattern + dirLength;
  char dirPart[kPathMax];
  bool wild = hasWildcards(name);
  if (*name == '\0' || !joinPath(dirPart, pattern, dirLength, "") || !osOpenDirPath(dirPart, !wild, dir)) return;
  list.folder.assign(pattern, dirLength);
  OsEntry e;
  if (!wild) {
    if (osLookup(dir, name, e)) consider(pattern, dirLength, e, list, unworkable);
    return;
  }
  OsListing listing;
  for (bool more = listing.first(dir, name, e); more; more = listing.next(e))
    consider(pattern, dirLength, e, list, unworkable);
  if (listing.failed) {
    unworkable.push_back(listingErrorLine(dirPart));
    cutShort = true;
  }
}

int runDirectoryForm(const OsArgument* argument) {
  // A trailing separator names the directory before it ("old/"): the
  // directories are what this form looks for anyway.
  std::string pattern;
  if (argument) pattern.assign(argument->text, lengthWithoutTrailingSeparators(argument->text));
  DirList list;
  std::vector<Unworkable> unworkable;
  bool cutShort = false;
  DirRef dir(new (std::nothrow) OsDir);  // held open from the listing to the last erase
  if (argument && argument->exact && dir)
    collect(pattern.c_str(), *dir, list, unworkable, cutShort);  // "-d" alone matches nothing
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
    // As in the pattern form, a search cut short is no success.
    if (tally.done > 0 && !cutShort) result = 0;
    for (const Unworkable& u : unworkable) {
      printLine("%s", u.c_str());
      anyEraseFailed = true;
    }
  }
  if (anyEraseFailed) std::puts("Some directories couldn't be erased.");
  if (result == 0) std::puts("done.");
  return result;
}
