#include <gtest/gtest.h>

#include <string>

#include "wipe/erase/report.h"

// What a terminal is sent of a line: each control character one '?' (C0, DEL,
// C1 as a UTF-8 character or as a byte no character holds), the final line
// end kept, everything else as it is.
TEST(ShownOnTerminal, ControlCharactersBecomeQuestionMarks) {
  struct Case {
    const char* text;
    const char* shown;
  } cases[] = {
      {"Erasing directory x\ndone.\n\x1b[8m/\n", "Erasing directory x?done.??[8m/\n"},
      {"error opening a\tb file\n", "error opening a?b file\n"},
      {"\r\n", "?\n"},
      {"a\n\n", "a?\n"},
      {"\n", "\n"},
      {"no line end\x07", "no line end?"},
      {"del\x7f", "del?"},
      {"csi \xc2\x9b" "2J", "csi ?2J"},      // U+009B as a character: one '?'
      {"csi \x9b" "2J", "csi ?2J"},          // the same byte alone
      {"\x80 \x9f", "? ?"},
      {"nbsp \xc2\xa0 \xc3\xa9t\xc3\xa9\n", "nbsp \xc2\xa0 \xc3\xa9t\xc3\xa9\n"},  // letters stay
      {"\xe2\x82\xac \xf0\x9f\x98\x80", "\xe2\x82\xac \xf0\x9f\x98\x80"},
      {"\xff\xfe \xa0", "\xff\xfe \xa0"},    // invalid, but no control to a terminal
      {"\xc3\n", "\xc3\n"},                  // a lead byte cut short by the line end
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(shownOnTerminal(c.text), std::string(c.shown)) << c.text;
}
