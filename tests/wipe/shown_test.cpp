#include <gtest/gtest.h>

#include <string>

#include "wipe/erase/report.h"

// Each control character one '?' (C0, DEL, C1 as a UTF-8 character or as a
// byte no character holds), a final line end kept, all else as it is.
TEST(ShownOnTerminal, ControlCharactersBecomeQuestionMarks) {
  struct Case {
    const char* text;
    const char* shown;
  } cases[] = {
      {"Erasing directory x\ndone.\n\x1b[8m/\n", "Erasing directory x?done.??[8m/\n"},
      {"a\tb\r\n", "a?b?\n"},      {"a\n\n", "a?\n"},          {"\n", "\n"},
      {"bel\x07 del\x7f", "bel? del?"},
      {"\xc2\x9b" "2J \x9b" "2J \x80", "?2J ?2J ?"},                             // CSI as a character, as a byte
      {"\xc2\xa0\xc3\xa9\xe2\x82\xac\n", "\xc2\xa0\xc3\xa9\xe2\x82\xac\n"},       // letters stay
      {"\xff\xa0 \xc3\n", "\xff\xa0 \xc3\n"},                                    // invalid, not control
  };
  for (const Case& c : cases) EXPECT_EQ(shownOnTerminal(c.text), std::string(c.shown)) << c.text;
}
