#include <gtest/gtest.h>

#include <string>

#include "wipe/names/paths.h"

TEST(Paths, HasWildcards) {
  struct Case {
    const char* text;
    bool wild;
  } cases[] = {{"", false}, {"file.txt", false}, {"*", true}, {"a?c", true}, {"dir/x*", true}, {"-d", false}};
  for (const Case& c : cases) EXPECT_EQ(hasWildcards(c.text), c.wild) << '"' << c.text << '"';
}

TEST(Paths, DirectoryPartEndsAtTheLastSlash) {
  struct Case {
    const char* pattern;
    size_t length;
  } cases[] = {{"*.tmp", 0}, {"sub/*.log", 4}, {"/a/b/c*", 5}, {"a/", 2}, {"", 0}};
  for (const Case& c : cases) EXPECT_EQ(dirPartLength(c.pattern), c.length) << c.pattern;
}

TEST(Paths, JoinNeverTruncates) {
  char out[kPathMax];
  std::string dir(249, 'd');
  // 259 characters and the terminator fill the buffer exactly; one more does not fit.
  EXPECT_TRUE(joinPath(out, dir.c_str(), dir.size(), "/123456789"));
  EXPECT_EQ(std::string(out).size(), 259u);
  EXPECT_FALSE(joinPath(out, dir.c_str(), dir.size(), "/1234567890"));
  EXPECT_STREQ(out, "");
  EXPECT_TRUE(joinPath(out, "sub/*.log", 4, "a.log"));
  EXPECT_STREQ(out, "sub/a.log");
}

TEST(Paths, MatchNamePosixRules) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*", ".hidden", true},        {"*", "..", true},         {".*", ".profile", true},
      {"*.tmp", "a.tmp", true},      {"*.tmp", "a.TMP", false}, {"*.tmp", "a.tmpx", false},
      {"a?c", "abc", true},          {"a?c", "ac", false},      {"*.*", "README", false},
      {"*a*b*", "xxaxxbxx", true},   {"*a*b", "xxaxxbxxc", false}, {"report", "report", true},
      {"report", "Report", false},   {"**", "", true},          {"?", "", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(matchName(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

// ? takes one character of the name and a literal only the same whole
// character, never a byte of one (UTF-8; an invalid byte is one character).
TEST(Paths, MatchNameTakesWholeCharacters) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"?.txt", "\xc3\xa9.txt", true},  {"??.txt", "\xc3\xa9.txt", false},      // é: two bytes
      {"?", "\xe2\x82\xac", true},     {"a?c", "a\xf0\x9f\x98\x80" "c", true},  // three and four
      {"*\xa9", "\xc3\xa9", false},     {"\xc3*", "\xc3\xa9", false},            // half of é is no é
      {"*??", "\xc3\xa9", false},       {"\xc3\xa9*", "\xc3\xa9t\xc3\xa9", true},
      {"?", "\xff", true},             {"??", "\xc3x", true},                     // invalid: one each
      {"??", "\xe2\x82", true},         {"??", "\xc0\xaf", true},                   // cut short, overlong
      {"???", "\xed\xa0\x80", true},    {"?", "\xf4\x90\x80\x80", false},          // surrogate, too large
  };
  for (const Case& c : cases)
    EXPECT_EQ(matchName(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

TEST(Paths, TrailingSeparatorsNameTheDirectory) {
  struct Case {
    const char* text;
    size_t length;
  } cases[] = {{"old/", 3}, {"old//", 3}, {"in/old/", 6}, {"ol*/", 3}, {"old", 3}, {"/", 0}, {"\xc3\xa9/", 2}};
  for (const Case& c : cases) EXPECT_EQ(lengthWithoutTrailingSeparators(c.text), c.length) << c.text;
}
