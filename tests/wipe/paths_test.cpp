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
