#include <cstdio>
#include <cstring>

#include "dirlist.h"
#include "erase.h"
#include "os.h"
#include "paths.h"

static void printEntering(const char* dir) { std::printf("Erasing directory %s%c\n", dir, osSeparator()); }

// An entry whose full path does not fit: it is reported with the error line
// it would have had and counted as a failure, never shortened.
static void reportTooLong(const char* dir, const char* name, bool isDirectory) {
  if (isDirectory) {
    std::printf("Erasing directory %s%c%s%c\n", dir, osSeparator(), name, osSeparator());
  } else {
    std::printf("error opening %s%c%s file\n", dir, osSeparator(), name);
  }
  anyEraseFailed = true;
}

bool eraseDirectory(const char* dir) {
  printEntering(dir);
  if (osIsLink(osNameKind(dir))) return osRemoveLink(dir);

  size_t dirLength = std::strlen(dir);
  char prefix[kPathMax];
  const char sep[2] = {osSeparator(), '\0'};
  char pattern[kPathMax];
  if (!joinPath(prefix, dir, dirLength, sep) || !joinPath(pattern, prefix, std::strlen(prefix), "*"))
    return false;

  DirList subdirs;
  {
    OsSearch search;
    OsFindEntry e;
    char full[kPathMax];
    // A listing that cannot be opened leaves the directory untouched. (An
    // existing directory always lists at least "." and "..".)
    if (!search.first(pattern, e)) return false;
    for (bool more = true; more; more = search.next(e)) {
      bool descend = e.isDirectory && !e.isLink;
      if (descend && (std::strcmp(e.name, ".") == 0 || std::strcmp(e.name, "..") == 0)) continue;
      if (!joinPath(full, prefix, std::strlen(prefix), e.name)) {
        reportTooLong(dir, e.name, descend);
        continue;
      }
      if (!descend) {
        eraseFile(full);  // prints its own error line; links go as names
      } else if (!subdirs.append(full)) {
        anyEraseFailed = true;
      }
    }
  }
  subdirs.eraseAll();
  return osRemoveDirectory(dir);
}
