#include "wipe/names/winmatch.h"

#include <vector>

#include "wipe/names/wintext.h"

bool translateSearchPattern(const std::u16string& typed, bool verbatimPath, std::u16string& expression) {
  expression.clear();
  // The final dot is noted before the path is normalised, which removes it.
  bool endsInDot = !typed.empty() && typed.back() == u'.';
  size_t n = typed.size();
  if (!verbatimPath)
    while (n > 0 && (typed[n - 1] == u'.' || typed[n - 1] == u' ')) --n;
  if (n == 0) return false;
  if (n == 3 && typed.compare(0, 3, u"*.*") == 0) {
    expression.assign(1, u'*');
    return true;
  }
  // Each rule looks at the typed characters, never at one already replaced.
  for (size_t i = 0; i < n; ++i) {
    char16_t c = typed[i];
    char16_t next = i + 1 < n ? typed[i + 1] : u'\0';
    if (c == u'?')
      expression += kDosQm;
    else if (c == u'.' && (next == u'?' || next == u'*'))
      expression += kDosDot;
    else if (c == u'*' && next == u'.')
      expression += kDosStar;
    else
      expression += c;
  }
  if (endsInDot && expression.back() == u'*') expression.back() = kDosStar;
  return true;
}

// The automaton keeps a set of states over the expression of length m. State
// s stands for "the name so far is consumed and matching goes on at element
// (s + 1) / 2": 2k sits on a star at k (it may take more), 2k + 1 has just
// left the star at k, 2k + 2 has taken one unit with element k, and 2m is
// the end of the expression. For each name unit (and once more after the
// last, for the elements that may take nothing there) every state runs along
// the expression as far as elements may take nothing, noting where the unit
// can be taken. Reaching the end of the expression on that run also counts
// as having taken the unit: that is how "?" matches the name "." but not
// "..". The name matches when the end state survives its last unit.
bool nameInExpression(const std::u16string& expression, const std::u16string& name) {
  if (name.empty()) return expression.empty();
  if (expression.empty()) return false;
  std::u16string e = expression, s = name;
  upcaseUnits(e);
  upcaseUnits(s);
  const size_t m = e.size(), endState = 2 * m;
  const size_t lastDot = s.rfind(u'.');
  std::vector<char> prior(endState + 1, 0), current(endState + 1, 0);
  prior[0] = 1;
  for (size_t pos = 0;; ++pos) {
    const bool finished = pos == s.size();
    if (finished && prior[endState]) return true;
    const char16_t c = finished ? u'\0' : s[pos];
    std::fill(current.begin(), current.end(), 0);
    bool any = false;
    auto add = [&](size_t state) {
      current[state] = 1;
      any = true;
    };
    for (size_t from = 0; from <= endState; ++from) {
      if (!prior[from]) continue;
      for (size_t k = (from + 1) / 2; k < m; ++k) {
        const size_t state = 2 * k;
        const char16_t x = e[k];
        if (x == u'*' || x == kDosStar) {
          // A DOS star may take a dot unless it is the name's last one; on
          // that dot it may only stop (state + 1: the dot ends its run).
          bool takes = x == u'*' || finished || c != u'.' || pos < lastDot;
          if (takes) add(state);
          add(state + 1);
        } else if (x == kDosQm) {
          if (!finished && c != u'.') {
            add(state + 2);
            break;
          }
        } else if (x == kDosDot) {
          if (!finished) {
            if (c == u'.') add(state + 2);
            break;
          }
        } else {
          if (!finished && (x == u'?' || x == c)) add(state + 2);
          break;
        }
        if (k + 1 == m) add(endState);
      }
    }
    if (!any) return false;
    prior.swap(current);
    if (finished) return prior[endState] != 0;
  }
}
