// Test-only Windows program: the matching vectors through the Windows build
// of the matcher, with the system's upper-casing behind it; the portable
// table checked against the system over the ranges it claims; and the
// long-name rows once more as the program meets them: the pattern and the
// name in the ANSI code page, widened by the program's widenFileText. Prints one line per failure and the row counts; exit code
// 0 when everything passed and no row was lost.
//
//   wipe_wildcards_win.exe VECTOR-FILE
#include <windows.h>

#include <cstdio>
#include <string>

#include "wildcard_vectors.h"
#include "wipe/names/wintext.h"

static std::string narrow(const std::u16string& s, UINT codePage, bool* lossy) {
  BOOL usedDefault = FALSE;
  const wchar_t* w = reinterpret_cast<const wchar_t*>(s.c_str());
  int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, w, -1, nullptr, 0, nullptr, &usedDefault);
  std::string out(n > 0 ? n : 1, '\0');
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, w, -1, &out[0], n, nullptr, &usedDefault);
  out.resize(out.size() - 1);
  *lossy = usedDefault != FALSE || n <= 0;
  return out;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: wipe_wildcards_win VECTOR-FILE\n");
    return 2;
  }
  VectorRun run;
  runWildcardVectors(argv[1], run);

  // The ranges the portable table covers (wintext.h).
  struct Range {
    unsigned first, last;
  } ranges[] = {{0x0000, 0x017F}, {0x0386, 0x03CE}, {0x0400, 0x045F}};
  int tableUnits = 0;
  for (const Range& r : ranges) {
    for (unsigned u = r.first; u <= r.last; ++u, ++tableUnits) {
      std::u16string one(1, (char16_t)u);
      upcaseUnits(one);
      if (one[0] != tableUpcaseUnit((char16_t)u)) {
        char line[120];
        std::snprintf(line, sizeof line, "upper case of U+%04X: system U+%04X, table U+%04X", u, (unsigned)one[0],
                      (unsigned)tableUpcaseUnit((char16_t)u));
        run.failures.push_back(line);
      }
    }
  }

  // Rows whose pattern and name survive the ANSI code page: narrowed to it,
  // then widened as the program widens a typed pattern and a name, and
  // matched. This adds to the rows above that widening gives back exactly
  // the units the rule was written for.
  int ansiRows = 0;
  for (const LongRow& row : run.longs) {
    bool lossyPattern = false, lossyName = false;
    std::string pattern = narrow(row.pattern, CP_ACP, &lossyPattern), name = narrow(row.name, CP_ACP, &lossyName);
    if (lossyPattern || lossyName) continue;
    std::u16string widePattern, wideName;
    bool ok = widenFileText(pattern.c_str(), widePattern) && widenFileText(name.c_str(), wideName) &&
              widePattern == row.pattern && wideName == row.name;
    if (!ok || listingKeeps(widePattern, wideName) != row.match)
      run.failures.push_back(row.line + "  [through the ANSI code page]");
    ++ansiRows;
  }

  for (const std::string& f : run.failures) std::printf("FAIL %s\n", f.c_str());
  std::printf("rows: long %d, short %d, translate %d, raw %d; table units %d; ANSI rows %d (code page %u)\n",
              run.longRows, run.shortRows, run.translateRows, run.rawRows, tableUnits, ansiRows, GetACP());
  return run.failures.empty() && run.complete() ? 0 : 1;
}
