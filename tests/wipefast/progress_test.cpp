// The text of the progress line: it must fit the terminal, or the carriage
// return that redraws it would land on a wrapped second line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "wipe/erase/progress.h"

namespace {

TEST(ProgressText, FitsTheWidthAndKeepsTheEndOfThePath) {
  const std::string longPath = "/very/long/folder/name/that/goes/on/and/on/for/a/while/to/reach/the/file.bin";
  struct Case {
    const char* what;
    std::string path;
    int pass, passes;
    uint64_t done, length;
    double speed;
    size_t width;
    const char* expected;  // exact text, or null: only the checks below
  } cases[] = {
      {"short path", "big.bin", 2, 5, 50, 200, 812.4e6, 79, "big.bin  pass 2/5   25%  812 MB/s"},
      {"finished pass", "big.bin", 1, 1, 300, 300, 1.0e9, 79, "big.bin  pass 1/1  100%  1000 MB/s"},
      {"nothing yet", "a", 1, 3, 0, 1u << 30, 0.0, 79, "a  pass 1/3    0%  0 MB/s"},
      {"over 4 GiB", "huge", 1, 1, 3ull << 31, 1ull << 33, 2.5e9, 79, "huge  pass 1/1   75%  2500 MB/s"},
      {"long path", longPath, 3, 3, 1, 3, 5e6, 79, nullptr},
      {"narrow terminal", longPath, 1, 1, 1, 2, 5e6, 40, nullptr},
  };
  for (const Case& c : cases) {
    char out[256];
    size_t n = formatProgress(out, sizeof out, c.path.c_str(), c.pass, c.passes, c.done, c.length, c.speed, c.width);
    std::string text(out, n);
    EXPECT_EQ(n, std::strlen(out)) << c.what;
    EXPECT_LE(text.size(), c.width) << c.what << ": " << text;
    if (c.expected) {
      EXPECT_EQ(text, c.expected) << c.what;
    } else {
      // Shortened from the left: the file's own name stays visible.
      EXPECT_EQ(text.compare(0, 3, "..."), 0) << c.what << ": " << text;
      EXPECT_NE(text.find("/file.bin  pass "), std::string::npos) << c.what << ": " << text;
    }
  }
}

}  // namespace
