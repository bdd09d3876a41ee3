#include "paths.h"

#include <cstring>

bool hasWildcards(const char* text) { return std::strpbrk(text, "*?") != nullptr; }

size_t dirPartLength(const char* pattern) {
  size_t n = 0;
  for (size_t i = 0; pattern[i]; ++i)
    if (osIsSeparator(pattern[i])) n = i + 1;
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

static char fold(char c, bool windowsRules) {
  return windowsRules && c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}

// Iterative glob with one backtrack point: linear in practice, no recursion
// depth that a long pattern could exhaust.
static bool globMatch(const char* p, size_t pn, const char* s, bool windowsRules) {
  size_t pi = 0, si = 0, star = (size_t)-1, mark = 0;
  size_t sn = std::strlen(s);
  while (si < sn) {
    if (pi < pn && (p[pi] == '?' || (p[pi] != '*' && fold(p[pi], windowsRules) == fold(s[si], windowsRules)))) {
      ++pi;
      ++si;
    } else if (pi < pn && p[pi] == '*') {
      star = pi++;
      mark = si;
    } else if (star != (size_t)-1) {
      pi = star + 1;
      si = ++mark;
    } else {
      return false;
    }
  }
  while (pi < pn && p[pi] == '*') ++pi;
  return pi == pn;
}

bool matchName(const char* pattern, const char* name, bool windowsRules) {
  size_t pn = std::strlen(pattern);
  if (globMatch(pattern, pn, name, windowsRules)) return true;
  if (!windowsRules || std::strchr(name, '.')) return false;
  if (pn >= 2 && pattern[pn - 2] == '.' && pattern[pn - 1] == '*')
    return globMatch(pattern, pn - 2, name, true);
  if (pn >= 1 && pattern[pn - 1] == '.') return globMatch(pattern, pn - 1, name, true);
  return false;
}
