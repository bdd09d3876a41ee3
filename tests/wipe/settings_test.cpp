#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "scratch_path.h"
#include "wipe/erase/erase.h"
#include "wipe/erase/settings.h"

TEST(Settings, FirstByteRules) {
  struct Case {
    int byte;  // -1: no byte
    int passes;
  } cases[] = {{-1, 0}, {0x00, 0}, {0x01, 1}, {0x02, 2}, {0x05, 5}, {0x06, 0}, {0xFF, 0}, {'3', 0}, {'[', 0}, {'a', 0}};
  for (const Case& c : cases) EXPECT_EQ(settingFromByte(c.byte), c.passes) << "byte " << c.byte;
}

TEST(Settings, ReadsOnlyTheFirstByteOfTheFile) {
  struct Case {
    const char* name;
    std::string content;  // "<none>": no file at all
    int firstByte;
  } cases[] = {
      {"absent", "<none>", -1},
      {"empty", "", -1},
      {"long, starts with 2", std::string("\x02", 1) + std::string(5000, '\x07'), 2},
      {"zero byte", std::string("\0", 1), 0},
      {"text", "3 passes please", '3'},
  };
  for (const Case& c : cases) {
    std::string path = scratchPath("settings_case.cfg");
    std::remove(path.c_str());
    if (c.content != "<none>") {
      FILE* f = std::fopen(path.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(c.content.data(), 1, c.content.size(), f);
      std::fclose(f);
    }
    EXPECT_EQ(readFirstByte(path.c_str()), c.firstByte) << c.name;
    std::remove(path.c_str());
  }
}

TEST(PassesForSize, ThresholdsAndLengthsPast4GiB) {
  struct Case {
    uint64_t length;
    int passes;
  } cases[] = {{0, 5},    {1023, 5}, {1024, 3}, {5119, 3}, {5120, 1}, {100000000, 1},
               // A 32-bit length would wrap these to 5 and 3 passes' worth.
               {(1ull << 32) + 5, 1}, {(1ull << 32) + 1024, 1}, {3ull << 30, 1}};
  for (const Case& c : cases) EXPECT_EQ(passesForSize(c.length), c.passes) << "length " << c.length;
}
