// The Windows side of wintext.h: the system's file-system casing and the
// file functions' code page.
#include <windows.h>

#include "wintext.h"

static bool isSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Without LCMAP_LINGUISTIC_CASING, LCMapString upper-cases by the file
// system's rules: one unit to one unit, as CompareStringOrdinal with
// ignore-case compares. The invariant locale keeps a Turkish user's "i" from
// turning into a dotted capital. Surrogate units are left alone, as the file
// system's one-unit table leaves them; the rest go to the system in runs, and
// a run whose length would change (never expected) keeps its units.
void upcaseUnits(std::u16string& text) {
  size_t i = 0;
  while (i < text.size()) {
    if (isSurrogate(text[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && !isSurrogate(text[end])) ++end;
    int n = (int)(end - i);
    std::u16string upper(n, u'\0');
    int got = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, reinterpret_cast<const wchar_t*>(text.data() + i), n,
                           reinterpret_cast<wchar_t*>(&upper[0]), n);
    if (got == n) text.replace(i, n, upper);
    i = end;
  }
}

bool widenFileApiText(const char* text, std::u16string& out) {
  UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  out.clear();
  int n = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (n <= 0) return false;
  std::u16string wide(n, u'\0');
  if (MultiByteToWideChar(codePage, 0, text, -1, reinterpret_cast<wchar_t*>(&wide[0]), n) != n) return false;
  wide.resize(n - 1);  // the terminator
  out.swap(wide);
  return true;
}
