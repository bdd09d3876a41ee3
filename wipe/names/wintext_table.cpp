#include "wipe/names/wintext.h"

// One-unit upper-case mappings of the ranges named in wintext.h. Cased pairs
// sit next to each other in most of these blocks; the ranges below say which
// member of a pair is the capital. The file system's table is narrower than
// the general one: µ, ı, ſ and the final ς have no capital in it (checked
// against the system's file-system casing by the Windows vector program).
char16_t tableUpcaseUnit(char16_t c) {
  auto pairEvenUpper = [](char16_t u) { return (char16_t)(u & 1 ? u - 1 : u); };
  auto pairOddUpper = [](char16_t u) { return (char16_t)(u & 1 ? u : u - 1); };
  if (c < 0x80) return c >= u'a' && c <= u'z' ? (char16_t)(c - 0x20) : c;
  if (c < 0x100) {
    if (c == 0xFF) return 0x178;
    return c >= 0xE0 && c != 0xF7 ? (char16_t)(c - 0x20) : c;  // ß (0xDF) stays
  }
  if (c < 0x180) {
    if (c <= 0x12F || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return pairEvenUpper(c);
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return pairOddUpper(c);
    return c;  // İ, ı, ĸ, ŉ, Ÿ, ſ
  }
  if (c >= 0x386 && c <= 0x3CE) {
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return (char16_t)(c - 0x25);
    if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB)) return (char16_t)(c - 0x20);
    if (c == 0x3CC) return 0x38C;
    if (c >= 0x3CD) return (char16_t)(c - 0x3F);
    return c;  // capitals, and ΐ, ΰ that have no one-unit capital
  }
  if (c >= 0x430 && c <= 0x44F) return (char16_t)(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return (char16_t)(c - 0x50);
  return c;
}
