// The Windows path rules of paths.h, in the file functions' text.
#include "wipe/names/paths.h"
#include "wipe/names/wintext.h"

bool isPathSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }
char pathSeparator() { return '\\'; }

size_t textCharLength(const char* text) {
  return fileTextLeadBytes()[(unsigned char)text[0]] && text[1] ? 2 : 1;
}

// The console acts on C0 and DEL; in the ANSI and OEM code pages 0x80-0x9F
// are letters and signs (the euro sign among them), and no trail byte of a
// double-byte character is below 0x40.
bool textIsControlChar(const char* text, size_t n) {
  unsigned char c = (unsigned char)*text;
  return n == 1 && (c < 0x20 || c == 0x7F);
}
