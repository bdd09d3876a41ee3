#include <windows.h>

#include "wipe/erase/progress.h"

// A console has a mode; a file or pipe in its place does not.
bool stderrIsTerminal() {
  HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  return h != NULL && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}
