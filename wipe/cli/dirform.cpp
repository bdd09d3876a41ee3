#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dirlist.h"
#include "forms.h"
#include "os.h"
#include "paths.h"

// Collects the directories the pattern matches into list, in search order.
// Matches whose full path does not fit a list node go to tooLong: they are
// reported and counted as failures once the user has said yes. A link to a
// directory is no match, as in the file forms: the walk would only remove
// the link and say done while the directory it leads to stays untouched.
static void collect(const char* pattern, DirList& list, std::vector<std::string>& tooLong) {
  if (!pattern) return;  // "-d" alone matches nothing
  size_t dirLength = dirPartLength(pattern);
  OsSearch search;
  OsFindEntry e;
  char full[kPathMax];
  for (bool more = search.first(pattern, e); more; more = search.next(e)) {
    if (!e.isDirectory || e.isLink) continue;
    if (std::strcmp(e.name, ".") == 0 || std::strcmp(e.name, "..") == 0) continue;
    if (!joinPath(full, pattern, dirLength, e.name) || !list.append(full))
      tooLong.push_back(std::string(pattern, dirLength) + e.name);
  }
}

int runDirectoryForm(const char* pattern) {
  DirList list;
  std::vector<std::string> tooLong;
  collect(pattern, list, tooLong);
  if (list.empty() && tooLong.empty()) {
    std::puts("No matching directories found.");
    return 1;
  }
  // Singular or plural follows the wildcard, not the number of matches.
  int answer = askConfirmation(pattern && hasWildcards(pattern));
  if (answer < 0) {
    // Without a console nobody can have said yes.
    std::puts("No console to answer the question: nothing was erased.");
    return 1;
  }
  std::puts("");
  int result = 1;
  if (answer == 1) {
    if (list.eraseAll() > 0) result = 0;
    for (const std::string& path : tooLong) {
      std::printf("Erasing directory %s%c\n", path.c_str(), osSeparator());
      anyEraseFailed = true;
    }
  }
  if (anyEraseFailed) std::puts("Some directories couldn't be erased.");
  if (result == 0) std::puts("done.");
  return result;
}
