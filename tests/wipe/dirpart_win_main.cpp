// Test-only: where the Windows build of Korwipe splits a pattern into its
// folder part and name, in the code page the file functions use. In a
// double-byte code page a trail byte may be 0x5C, the backslash: it must not
// end the folder part. Prints one line per case, "ok" or "FAIL", then the
// code page, for dirpart_check.py to run under two code pages.
#include <windows.h>

#include <cstdio>

#include "wipe/names/paths.h"

int main() {
  // 0x83 0x5C is a katakana letter in code page 932 and "ƒ\" in 1252.
  struct Case {
    const char* pattern;
    size_t in932, in1252;
  } cases[] = {
      {"\x83\x5C*.txt", 0, 2},
      {"dir\\\x83\x5C*.txt", 4, 6},
      {"\x83\x5C\\*.txt", 3, 3},
      {"\x83\x5C\x83\x5C?.doc", 0, 4},
      {"c:\x83\x5C*.txt", 2, 4},
      {"a\\b/c*", 4, 4},
      {"plain*.txt", 0, 0},
      {"\x83", 0, 0},  // a lead byte at the very end stands alone
  };
  UINT codePage = AreFileApisANSI() ? GetACP() : GetOEMCP();
  if (codePage != 932 && codePage != 1252) {
    std::printf("FAIL code page %u, not 932 or 1252\n", codePage);
    return 1;
  }
  int failures = 0;
  for (const Case& c : cases) {
    size_t want = codePage == 932 ? c.in932 : c.in1252;
    size_t got = dirPartLength(c.pattern);
    std::printf("%s", got == want ? "ok" : "FAIL");
    for (const unsigned char* p = (const unsigned char*)c.pattern; *p; ++p) std::printf(" %02x", *p);
    std::printf(": folder part %u, want %u\n", (unsigned)got, (unsigned)want);
    if (got != want) ++failures;
  }
  std::printf("code page %u, %d cases\n", codePage, (int)(sizeof cases / sizeof cases[0]));
  return failures ? 1 : 0;
}
