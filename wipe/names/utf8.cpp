#include "wipe/names/utf8.h"

static bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

size_t utf8CharLength(const char* text, uint32_t* code) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  unsigned char c = s[0];
  *code = c;
  size_t n;
  uint32_t value, min;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, value = c & 0x1Fu, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, value = c & 0x0Fu, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, value = c & 0x07u, min = 0x10000;
  } else {
    return 1;
  }
  // A 0 byte is no continuation, so the loop stops at the text's end.
  for (size_t i = 1; i < n; ++i) {
    if (!continuation(s[i])) return 1;
    value = value << 6 | (s[i] & 0x3Fu);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 1;
  *code = value;
  return n;
}
