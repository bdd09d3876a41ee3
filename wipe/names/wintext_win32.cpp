// The Windows side of wintext.h: the system's file-system casing and the
// file functions' code page.
#include <windows.h>

#include <cstring>

#include "wipe/names/wintext.h"

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

static UINT fileApiCodePage() { return AreFileApisANSI() ? GetACP() : GetOEMCP(); }

bool widenFileText(const char* text, std::u16string& out) {
  out.clear();
  UINT cp = fileApiCodePage();
  int n = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (n <= 0) return false;
  std::u16string wide(n, u'\0');
  if (MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text, -1, reinterpret_cast<wchar_t*>(&wide[0]), n) != n)
    return false;
  wide.resize(n - 1);  // the terminator
  out.swap(wide);
  return true;
}

bool narrowFileText(const std::u16string& wide, std::string& out) {
  out.clear();
  if (wide.empty()) return true;
  UINT cp = fileApiCodePage();
  // UTF-8 takes neither flags nor the default-character report; a unit it
  // cannot carry (a lone surrogate) shows in the round trip instead.
  bool utf8 = cp == CP_UTF8;
  DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* report = utf8 ? nullptr : &usedDefault;
  const wchar_t* w = reinterpret_cast<const wchar_t*>(wide.data());
  int n = WideCharToMultiByte(cp, flags, w, (int)wide.size(), nullptr, 0, nullptr, report);
  if (n <= 0) return false;
  std::string narrow(n, '\0');
  if (WideCharToMultiByte(cp, flags, w, (int)wide.size(), &narrow[0], n, nullptr, report) != n) return false;
  out.swap(narrow);
  if (usedDefault) return false;
  std::u16string back;
  return widenFileText(out.c_str(), back) && back == wide;
}

const bool (&fileTextLeadBytes())[256] {
  static bool lead[256];
  static UINT filledFor = 0;
  UINT cp = fileApiCodePage();
  if (filledFor != cp) {
    std::memset(lead, 0, sizeof lead);
    CPINFO info;
    if (GetCPInfo(cp, &info))
      for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i]; i += 2)
        for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) lead[b] = true;
    filledFor = cp;
  }
  return lead;
}
