#include "wipe/names/paths.h"

#include <cstring>

bool hasWildcards(const char* text) { return std::strpbrk(text, "*?") != nullptr; }

size_t dirPartLength(const char* pattern) {
  size_t n = 0;
  for (size_t i = 0; pattern[i]; i += textCharLength(pattern + i))
    if (isPathSeparator(pattern[i])) n = i + 1;
  return n;
}

// Character by character: in a double-byte code page a trail byte may be a
// backslash.
size_t lengthWithoutTrailingSeparators(const char* text) {
  size_t kept = 0;
  for (size_t i = 0; text[i];) {
    size_t n = textCharLength(text + i);
    bool separator = n == 1 && isPathSeparator(text[i]) && text[i] != ':';
    i += n;
    if (!separator) kept = i;
  }
  return kept;
}

bool joinPath(char (&out)[kPathMax], const char* head, size_t headLength, const char* tail) {
  size_t tailLength = std::strlen(tail);
  if (headLength + tailLength >= kPathMax) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, head, headLength);
  std::memcpy(out + headLength, tail, tailLength + 1);
  return true;
}

// Iterative glob with one backtrack point: linear in practice, no recursion
// depth that a long pattern could exhaust. It steps by characters
// (textCharLength), so that ? takes a whole character of the name and a
// literal character matches only the same whole character.
bool matchName(const char* pattern, const char* name) {
  size_t pi = 0, si = 0, star = (size_t)-1, mark = 0;
  size_t pn = std::strlen(pattern), sn = std::strlen(name);
  while (si < sn) {
    size_t nameChar = textCharLength(name + si);
    size_t patternChar = pi < pn ? textCharLength(pattern + pi) : 0;
    if (pi < pn && pattern[pi] == '?') {
      ++pi;
      si += nameChar;
    } else if (pi < pn && pattern[pi] != '*' && patternChar == nameChar &&
               std::memcmp(pattern + pi, name + si, nameChar) == 0) {
      pi += patternChar;
      si += nameChar;
    } else if (pi < pn && pattern[pi] == '*') {
      star = pi++;
      mark = si;
    } else if (star != (size_t)-1) {
      pi = star + 1;
      mark += textCharLength(name + mark);
      si = mark;
    } else {
      return false;
    }
  }
  while (pi < pn && pattern[pi] == '*') ++pi;
  return pi == pn;
}
