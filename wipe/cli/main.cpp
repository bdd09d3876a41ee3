// Korwipe: erases a file, every file matching a pattern, or whole directory
// trees, overwriting their contents before removing them.
#include <cstdio>
#include <cstring>

#include "wipe/cli/forms.h"
#include "wipe/erase/settings.h"
#include "wipe/os/os.h"
#include "wipe/random/random.h"

int main(int argc, char** argv) {
  // Seeded first, on every run, so that the stream depends only on the clock.
  wipeRandom.seedFromClock();

  OsArgument args[3];
  int count = osArguments(argc, argv, args, 3);
  bool directoryForm = count >= 1 && std::strcmp(args[0].text, "-d") == 0;
  if (count < 1 || count > 2 || (count == 2 && !directoryForm)) {
    std::puts("usage: \"Korwipe filename\" or \"Korwipe -d directory\"");
    return 1;
  }
  loadSettings();
  osBeginFileWork();
  int result = directoryForm ? runDirectoryForm(count == 2 ? &args[1] : nullptr) : runFileForm(args[0]);
  std::fflush(stdout);
  return result;
}
