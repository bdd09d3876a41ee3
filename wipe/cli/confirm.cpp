#include <cstdio>

#include "wipe/cli/forms.h"
#include "wipe/os/os.h"

int askConfirmation(bool plural) {
  std::fputs("Are you sure you want to Erase selected ", stdout);
  std::fputs(plural ? "directories?" : "directory?", stdout);
  std::fputs(" [y/n]\n", stdout);
  std::fflush(stdout);

  // Keys come from the console itself, not standard input, so that a
  // redirected input cannot answer for the user.
  OsConsole console;
  if (!console.open()) return -1;
  for (;;) {
    int echo = -1;
    int code = console.readKey(echo);
    if (code < 0) return -1;
    if (echo >= 0) console.echo((char)echo);
    if (code == 'y' || code == 'Y') return 1;
    if (code == 'n' || code == 'N') return 0;
  }
}
