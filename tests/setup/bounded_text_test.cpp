#include "bounded_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Small = BoundedText<char, 8>;  // seven characters and the terminator

struct Composition {
  const char* name;
  std::vector<const char*> pieces;
  const char* text;  // content afterwards
  bool usable;
};

TEST(BoundedText, AppendsUpToCapacityAndNeverPastIt) {
  const Composition cases[] = {
      {"empty", {}, "", true},
      {"pieces that fit", {"ab", "cd"}, "abcd", true},
      {"exact fit, terminator in the last cell", {"abc", "defg"}, "abcdefg", true},
      {"one over: the piece is left out whole", {"abc", "defgh"}, "abc", false},
      {"a failure sticks: later pieces are refused", {"abcdefgh", "x"}, "", false},
      {"empty piece on a full text", {"abcdefg", ""}, "abcdefg", true},
  };
  for (const Composition& c : cases) {
    Small t;
    for (const char* p : c.pieces) t.append(p);
    EXPECT_STREQ(t.text, c.text) << c.name;
    EXPECT_EQ(t.length, std::strlen(c.text)) << c.name;
    EXPECT_EQ(t.usable, c.usable) << c.name;
  }
}

TEST(BoundedText, AssignStartsAfreshAfterAFailure) {
  Small t;
  EXPECT_FALSE(t.append("far too long"));
  EXPECT_TRUE(t.assign("ok"));
  EXPECT_TRUE(t.append("/x"));
  EXPECT_STREQ(t.text, "ok/x");
  EXPECT_TRUE(t.usable);
}

TEST(BoundedText, UnusableOtherTextMakesTheResultUnusable) {
  BoundedText<char, 4> shortPath;
  shortPath.append("abcdef");
  Small line;
  line.assign("\"");
  EXPECT_FALSE(line.append(shortPath));
  EXPECT_FALSE(line.append("\" /E"));
  EXPECT_FALSE(line.usable);

  BoundedText<char, 4> fine;
  fine.assign("ab");
  line.assign("\"");
  EXPECT_TRUE(line.append(fine));
  EXPECT_STREQ(line.text, "\"ab");
}

TEST(BoundedText, AcceptFilledNeedsATerminatorInside) {
  Small t;
  std::memcpy(t.text, "abc\0zzzz", 8);
  EXPECT_TRUE(t.acceptFilled());
  EXPECT_EQ(t.length, 3u);
  EXPECT_TRUE(t.append("de"));
  EXPECT_STREQ(t.text, "abcde");

  // A platform call that filled the whole buffer without a terminator.
  std::memcpy(t.text, "abcdefgh", 8);
  EXPECT_FALSE(t.acceptFilled());
  EXPECT_FALSE(t.usable);
  EXPECT_STREQ(t.text, "");
}

TEST(BoundedText, CutAfterLastKeepsTheFolderWithItsSeparator) {
  struct Case {
    const wchar_t* path;
    const wchar_t* folder;
    bool cut;
  } cases[] = {
      {L"C:\\Tools\\cfgsetup.exe", L"C:\\Tools\\", true},
      {L"C:\\a\\b\\", L"C:\\a\\b\\", true},
      {L"cfgsetup.exe", L"cfgsetup.exe", false},
      {L"", L"", false},
  };
  for (const Case& c : cases) {
    BoundedText<wchar_t, 260> t;
    t.assign(c.path);
    EXPECT_EQ(t.cutAfterLast(L'\\'), c.cut) << std::wstring(c.path).size();
    EXPECT_EQ(std::wstring(t.text), std::wstring(c.folder));
    EXPECT_EQ(t.length, std::wstring(c.folder).size());
  }
}

}  // namespace
