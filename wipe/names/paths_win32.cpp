// The Windows path rules of paths.h, in the file functions' text.
#include "wipe/names/paths.h"
#include "wipe/names/wintext.h"

bool isPathSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }
char pathSeparator() { return '\\'; }

size_t textCharLength(const char* text) {
  return fileTextLeadBytes()[(unsigned char)text[0]] && text[1] ? 2 : 1;
}
