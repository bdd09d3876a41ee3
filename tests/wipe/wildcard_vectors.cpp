#include "wildcard_vectors.h"

#include <fstream>

#include "wipe/names/winmatch.h"

std::u16string vectorText(const std::string& field) {
  if (field == "(empty)") return u"";
  std::u16string out;
  for (size_t i = 0; i < field.size();) {
    unsigned char b = (unsigned char)field[i];
    int extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    unsigned cp = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
    for (int k = 1; k <= extra && i + k < field.size(); ++k) cp = (cp << 6) | ((unsigned char)field[i + k] & 0x3F);
    i += 1 + extra;
    if (cp == 0x2420) cp = u' ';
    if (cp >= 0x10000) {
      out += (char16_t)(0xD800 + ((cp - 0x10000) >> 10));
      out += (char16_t)(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += (char16_t)cp;
    }
  }
  return out;
}

bool listingKeeps(const std::u16string& typed, const std::u16string& name) {
  std::u16string expression;
  return translateSearchPattern(typed, false, expression) && nameInExpression(expression, name);
}

static std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t bar; (bar = line.find(" | ", start)) != std::string::npos; start = bar + 3)
    out.push_back(line.substr(start, bar - start));
  out.push_back(line.substr(start));
  return out;
}

static bool yesNo(const std::string& field, bool& value) {
  value = field == "yes";
  return value || field == "no";
}

static const char* word(bool b) { return b ? "yes" : "no"; }

static void check(VectorRun& run, const std::string& line, const char* what, bool got, bool want) {
  if (got != want) run.failures.push_back(line + "  [" + what + ": got " + word(got) + "]");
}

bool runWildcardVectors(const char* path, VectorRun& run) {
  std::ifstream in(path);
  if (!in) {
    run.failures.push_back(std::string("cannot read ") + path);
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = fields(line);
    bool a = false, b = false, c = false;
    const std::string& kind = f[0];
    if (kind == "long" && f.size() == 5 && yesNo(f[4], a)) {
      ++run.longRows;
      run.longs.push_back(LongRow{line, vectorText(f[2]), vectorText(f[3]), a});
      check(run, line, "match", listingKeeps(run.longs.back().pattern, run.longs.back().name), a);
    } else if (kind == "short" && f.size() == 7 && yesNo(f[4], a) && yesNo(f[5], b) && yesNo(f[6], c)) {
      // The system's search also tries the 8.3 name (the short column); a
      // listing keeps an entry by its long name alone (the long column).
      ++run.shortRows;
      std::u16string typed = vectorText(f[1]);
      bool byLong = listingKeeps(typed, vectorText(f[2])), byShort = listingKeeps(typed, vectorText(f[3]));
      check(run, line, "long name", byLong, a);
      check(run, line, "short name", byShort, b);
      check(run, line, "search (long or short)", byLong || byShort, c);
    } else if (kind == "translate" && f.size() == 3) {
      ++run.translateRows;
      std::u16string expression;
      bool ok = translateSearchPattern(vectorText(f[1]), false, expression);
      check(run, line, "translation", ok && expression == vectorText(f[2]), true);
    } else if (kind == "raw" && f.size() == 4 && yesNo(f[3], a)) {
      ++run.rawRows;
      check(run, line, "match", nameInExpression(vectorText(f[1]), vectorText(f[2])), a);
    } else {
      run.failures.push_back("not understood: " + line);
      return false;
    }
  }
  return true;
}
