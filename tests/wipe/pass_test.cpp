#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "open_named.h"
#include "scratch_path.h"
#include "wipe/erase/erase.h"
#include "wipe/os/os.h"
#include "wipe/random/random.h"

namespace {
std::vector<unsigned char> readAll(const std::string& path) {
  std::vector<unsigned char> data;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return data;
  unsigned char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  std::fclose(f);
  return data;
}
}  // namespace

// Each pass writes the generator's stream over the whole file, segment after
// segment, continuing the stream from the pass before; the length never changes.
TEST(WritePass, WritesTheStreamOverEverySegment) {
  struct Case {
    uint64_t length;
    const char* what;
  } cases[] = {{0, "empty"}, {1000, "one partial segment"}, {kSegmentSize, "exactly one segment"},
               {kSegmentSize + 3, "one segment and a partial one"}};
  for (const Case& c : cases) {
    std::string path = scratchPath("pass_case.bin");
    {
      FILE* f = std::fopen(path.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::vector<unsigned char> zeros((size_t)c.length, 0);
      if (!zeros.empty()) std::fwrite(zeros.data(), 1, zeros.size(), f);
      std::fclose(f);
    }
    wipeRandom.seed(6334, 18467, 41);
    WipeRandom expected = wipeRandom;
    std::vector<unsigned char> buf((size_t)std::min<uint64_t>(c.length ? c.length : 1, kSegmentSize));
    OsFile f;
    OsDir dir;
    ASSERT_EQ(openNamed(path, dir, f), OsOpenResult::Opened) << c.what;
    for (int pass = 1; pass <= 2; ++pass) {
      ASSERT_EQ(writePass(f, buf.data(), c.length), Erased) << c.what << " pass " << pass;
      std::vector<unsigned char> want((size_t)c.length);
      expected.fill(want.data(), want.size());
      std::vector<unsigned char> got = readAll(path);
      ASSERT_EQ(got.size(), want.size()) << c.what << " pass " << pass;
      EXPECT_TRUE(got == want) << c.what << " pass " << pass << ": bytes differ from the stream";
    }
    f.close();
    std::remove(path.c_str());
  }
}
