// Korwipe: erases a file, every file matching a pattern, or whole directory
// trees, overwriting their contents before removing them.
#include <cstdio>
#include <cstring>

#include "dirlist.h"
#include "erase.h"
#include "forms.h"
#include "os.h"
#include "paths.h"
#include "random.h"
#include "settings.h"

static int runPatternForm(const char* pattern) {
  size_t dirLength = dirPartLength(pattern);
  int erased = 0;
  {
    OsSearch search;
    OsFindEntry e;
    char full[kPathMax];
    for (bool more = search.first(pattern, e); more; more = search.next(e)) {
      if (e.isDirectory) continue;
      if (!joinPath(full, pattern, dirLength, e.name)) {
        std::printf("error opening %.*s%s file\n", (int)dirLength, pattern, e.name);
        anyEraseFailed = true;
        continue;
      }
      if (eraseFile(full) == Erased)
        ++erased;
      else
        anyEraseFailed = true;
    }
  }
  int result = erased > 0 ? 0 : 1;
  if (anyEraseFailed)
    std::puts("Some files couldn't be erased.");
  else if (result == 1)
    std::puts("No matching files found.");
  if (result == 0) std::puts("done.");
  return result;
}

int runFileForm(const char* argument) {
  if (hasWildcards(argument)) return runPatternForm(argument);
  // No search for a plain name: a missing file is an open failure (code 2).
  // A link to a directory is refused as the directory itself is (and as the
  // pattern form skips both): it is no file, and removing it would say done
  // while the directory the user named is untouched.
  if (osNameKind(argument) == OsNameKind::DirectoryLink) {
    std::printf("error opening %s file\n", argument);
    return OpenFailed;
  }
  EraseStatus status = eraseFile(argument);
  if (status == Erased) std::puts("done.");
  return status;
}

int main(int argc, char** argv) {
  // Seeded first, on every run, so that the stream depends only on the clock.
  wipeRandom.seedFromClock();

  int count = argc - 1;
  bool directoryForm = count >= 1 && std::strcmp(argv[1], "-d") == 0;
  if (count < 1 || count > 2 || (count == 2 && !directoryForm)) {
    std::puts("usage: \"Korwipe filename\" or \"Korwipe -d directory\"");
    return 1;
  }
  loadSettings();
  int result = directoryForm ? runDirectoryForm(count == 2 ? argv[2] : nullptr) : runFileForm(argv[1]);
  std::fflush(stdout);
  return result;
}
