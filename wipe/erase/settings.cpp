#include "wipe/erase/settings.h"

#include <cstdio>

#include "wipe/os/os.h"

int overwritePasses = 0;

int settingFromByte(int firstByte) {
  // The value is a binary byte, not a digit: text such as "3" (0x33) is
  // simply out of range and selects the automatic count.
  return firstByte >= 0 && firstByte <= 5 ? firstByte : 0;
}

int readFirstByte(const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return -1;
  int c = std::fgetc(f);
  std::fclose(f);
  return c == EOF ? -1 : c;
}

void loadSettings() {
  char path[kPathMax];
  overwritePasses = osSettingsPath(path) ? settingFromByte(readFirstByte(path)) : 0;
}
