#include "wipe/names/paths.h"

#include <cstring>

bool hasWildcards(const char* text) { return std::strpbrk(text, "*?") != nullptr; }

size_t dirPartLength(const char* pattern) {
  size_t n = 0;
  for (size_t i = 0; pattern[i]; i += textCharLength(pattern + i))
    if (isPathSeparator(pattern[i])) n = i + 1;
  return n;
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
// depth that a long pattern could exhaust.
bool matchName(const char* pattern, const char* name) {
  size_t pi = 0, si = 0, star = (size_t)-1, mark = 0;
  size_t pn = std::strlen(pattern), sn = std::strlen(name);
  while (si < sn) {
    if (pi < pn && (pattern[pi] == '?' || (pattern[pi] != '*' && pattern[pi] == name[si]))) {
      ++pi;
      ++si;
    } else if (pi < pn && pattern[pi] == '*') {
      star = pi++;
      mark = si;
    } else if (star != (size_t)-1) {
      pi = star + 1;
      si = ++mark;
    } else {
      return false;
    }
  }
  while (pi < pn && pattern[pi] == '*') ++pi;
  return pi == pn;
}
