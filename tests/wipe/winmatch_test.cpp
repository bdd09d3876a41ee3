#include <gtest/gtest.h>

#include <string>

#include "wildcard_vectors.h"
#include "wipe/names/winmatch.h"

// UTF-8 source text to UTF-16 for the cases below.
static std::u16string u16(const char* utf8) { return vectorText(utf8); }

TEST(WindowsMatching, EveryVectorRow) {
  VectorRun run;
  EXPECT_TRUE(runWildcardVectors(KOR_WILDCARD_VECTORS, run));
  for (const std::string& f : run.failures) ADD_FAILURE() << f;
  EXPECT_EQ(run.longRows, kLongRows);
  EXPECT_EQ(run.shortRows, kShortRows);
  EXPECT_EQ(run.translateRows, kTranslateRows);
  EXPECT_EQ(run.rawRows, kRawRows);
  EXPECT_EQ(run.longRows + run.shortRows + run.translateRows + run.rawRows, 170);
}

// Letters beyond ASCII compare through the upper-case table, one unit each:
// a listing keeps the names the system's own search would find.
TEST(WindowsMatching, LettersBeyondAscii) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"ÉTÉ*", "été.txt", true},       {"üNÏ*.DAT", "Ünïcode.dat", true}, {"école.*", "ÉCOLE.doc", true},
      {"œuvre.*", "ŒUVRE.txt", true},  {"ÿ?", "Ÿa", true},               {"ĺ*ž", "ĹAŽ", true},
      {"σοφία.*", "ΣΟΦΊΑ", true},      {"*σ", "ΛΟΓΟΣ", true},            {"привет.?", "ПРИВЕТ.Я", true},
      {"ёж*", "ЁЖИК.txt", true},       {"e*", "été.txt", false},          {"ss*", "ßa", false},
      {"Œ*", "oeuvre.txt", false},     {"и*", "й.txt", false},
      {"*ς", "ΛΟΓΟΣ", false},          {"ı*", "I.txt", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(listingKeeps(u16(c.pattern), u16(c.name)), c.match) << c.pattern << " vs " << c.name;
}

TEST(WindowsMatching, TranslationEdges) {
  struct Case {
    const char* typed;
    bool verbatim;
    const char* expression;  // null: the search fails
  } cases[] = {
      {"", false, nullptr},        {"...", false, nullptr},  {"␠.␠", false, nullptr}, {"*.", true, "<."},
      {"abc.", true, "abc."},      {"a<b", false, "a<b"},   {"x*", false, "x*"},     {"*.*.*", false, "<\"<\"*"},
      {"?*.", false, "><"},        {"a.b.", false, "a.b"},
  };
  for (const Case& c : cases) {
    std::u16string got;
    bool ok = translateSearchPattern(u16(c.typed), c.verbatim, got);
    if (!c.expression)
      EXPECT_FALSE(ok) << c.typed;
    else
      EXPECT_TRUE(ok && got == u16(c.expression)) << c.typed << " gave " << got.size() << " units";
  }
}
