// The POSIX path rules of paths.h.
//
// Names and arguments are bytes in the locale's encoding (LC_CTYPE from the
// environment, read once). UTF-8 is read by utf8CharLength, and so is the C
// locale's ASCII: file names on Linux are UTF-8 by convention, whatever a
// cron job's bare environment says. Any other multi-byte encoding goes
// through the C library (mbrtowc); a single-byte one is one byte a
// character. An invalid byte is always one character.
#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "wipe/names/paths.h"
#include "wipe/names/utf8.h"

bool isPathSeparator(char c) { return c == '/'; }
char pathSeparator() { return '/'; }

namespace {
enum class CharRule { Utf8, SingleByte, Library };

CharRule charRule() {
  static const CharRule rule = [] {
    std::setlocale(LC_CTYPE, "");
    const char* set = nl_langinfo(CODESET);
    if (std::strcmp(set, "UTF-8") == 0 || std::strcmp(set, "ANSI_X3.4-1968") == 0 ||
        std::strcmp(set, "ASCII") == 0)
      return CharRule::Utf8;
    return MB_CUR_MAX == 1 ? CharRule::SingleByte : CharRule::Library;
  }();
  return rule;
}

// Bytes and value of the character at text, by the locale's rule.
size_t character(const char* text, uint32_t* code) {
  unsigned char c = (unsigned char)*text;
  *code = c;
  if (c < 0x80) return 1;
  switch (charRule()) {
    case CharRule::Utf8:
      return utf8CharLength(text, code);
    case CharRule::SingleByte:
      return 1;
    case CharRule::Library:
      break;
  }
  std::mbstate_t state{};
  wchar_t w = 0;
  size_t n = std::mbrtowc(&w, text, strnlen(text, MB_CUR_MAX), &state);
  if (n == 0 || n == (size_t)-1 || n == (size_t)-2) return 1;
  *code = (uint32_t)w;
  return n;
}
}  // namespace

size_t textCharLength(const char* text) {
  uint32_t code;
  return character(text, &code);
}

// C0 and DEL move the cursor, end lines or start sequences; so do the C1
// controls, which terminals also take as single bytes 0x80-0x9F (0x9B is
// CSI, ESC [): such a byte standing alone counts too, and so does the same
// value reached as a character (U+0080-U+009F, C2 80 to C2 9F in UTF-8).
bool textIsControlChar(const char* text, size_t n) {
  uint32_t code = (unsigned char)*text;
  if (n > 1) character(text, &code);
  return code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F);
}
