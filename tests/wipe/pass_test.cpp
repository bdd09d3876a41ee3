#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "open_named.h"
#include "scratch_path.h"
#include "wipe/erase/erase.h"
#include "wipe/erase/pass_writer.h"
#include "wipe/erase/report.h"
#include "wipe/os/os.h"
#include "wipe/random/random.h"

// writePass is how every pass is written: one file at a time with the spare
// buffer (eraseFile), or many small files side by side (the batch). Each
// file must get the next bytes of its own stream over its whole length, pass
// after pass, and a file that cannot be written must fail alone.
namespace {
std::vector<unsigned char> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string zeroFile(const char* name, uint64_t length) {
  std::string path = scratchPath(name);
  std::ofstream(path, std::ios::binary) << std::string((size_t)length, '\0');
  return path;
}

// The next n bytes of a copy of the stream, which is advanced past them.
std::vector<unsigned char> take(WipeRandom& stream, uint64_t n) {
  std::vector<unsigned char> bytes((size_t)n);
  stream.fill(bytes.data(), bytes.size());
  return bytes;
}

bool sameState(const WipeRandom& a, const WipeRandom& b) { return a.s1 == b.s1 && a.s2 == b.s2 && a.s3 == b.s3; }
}  // namespace

TEST(WritePass, OneFileGetsItsStreamOverEverySegment) {
  struct Case {
    uint64_t length;
    const char* what;
  } cases[] = {{0, "empty"},
               {1000, "one partial segment"},
               {kSegmentSize, "exactly one segment"},
               {kSegmentSize + 3, "one segment and a partial one"},
               {2 * kSegmentSize + 5, "two segments and a partial one"}};
  std::vector<unsigned char> buf((size_t)kSegmentSize), spare((size_t)kSegmentSize);
  for (const Case& c : cases) {
    for (bool overlap : {false, true}) {
      std::string what = std::string(c.what) + (overlap ? ", overlapped" : ", in line");
      std::string path = zeroFile("pass_case.bin", c.length);
      OsDir dir;
      OsFile f;
      ASSERT_EQ(openNamed(path, dir, f), OsOpenResult::Opened) << what;
      WipeRandom stream, expected;
      stream.seed(6334, 18467, 41);
      expected = stream;
      PassFile one;
      one.file = &f;
      one.length = c.length;
      one.stream = &stream;
      PassFile* const files[1] = {&one};
      for (int pass = 1; pass <= 2; ++pass) {
        writePass(files, 1, buf.data(), overlap ? spare.data() : nullptr);
        ASSERT_TRUE(one.ok) << what << " pass " << pass;
        std::vector<unsigned char> got = readAll(path);
        ASSERT_EQ(got.size(), c.length) << what << " pass " << pass << ": the length changed";
        EXPECT_TRUE(got == take(expected, c.length)) << what << " pass " << pass << ": not the stream's bytes";
        EXPECT_TRUE(sameState(stream, expected)) << what << " pass " << pass << ": the stream ran on or fell short";
      }
      f.close();
      std::remove(path.c_str());
    }
  }
}

// Several files in one pass: each from its own place in the stream; one
// that cannot be written (opened read-only here) gets its error line, keeps
// its contents and is left out of the next pass, and the others are written.
TEST(WritePass, FilesSideBySideFailAlone) {
  const uint64_t lengths[] = {1, 4096, 1 << 20, 777};
  const size_t n = 4, readOnly = 2;
  std::string paths[n];
  OsDir dirs[n];
  OsFile handles[n];
  WipeRandom streams[n], expected[n];
  Transcript out[n];
  PassFile files[n];
  PassFile* list[n];
  for (size_t k = 0; k < n; ++k) {
    paths[k] = zeroFile(("side_" + std::to_string(k) + ".bin").c_str(), lengths[k]);
    if (k == readOnly)
      handles[k].handle = ::open(paths[k].c_str(), O_RDONLY);
    else
      ASSERT_EQ(openNamed(paths[k], dirs[k], handles[k]), OsOpenResult::Opened) << k;
    streams[k].seed(1000 + (uint32_t)k, 2000, 3000);
    expected[k] = streams[k];
    files[k].file = &handles[k];
    files[k].length = lengths[k];
    files[k].stream = &streams[k];
    files[k].transcript = &out[k];
    list[k] = &files[k];
  }
  ASSERT_GE(handles[readOnly].handle, 0);
  std::vector<unsigned char> buf(1 << 20);
  for (int pass = 1; pass <= 2; ++pass) {
    writePass(list, n, buf.data(), nullptr);
    for (size_t k = 0; k < n; ++k) {
      std::vector<unsigned char> got = readAll(paths[k]);
      if (k == readOnly) {
        EXPECT_FALSE(files[k].ok);
        EXPECT_TRUE(got == std::vector<unsigned char>((size_t)lengths[k], 0)) << "the failed file was changed";
        ASSERT_EQ(out[k].lines.size(), 1u) << "pass " << pass << ": one error line, from the first pass only";
        EXPECT_EQ(out[k].lines[0].text, "error writing file (segment 0l)\n");
        EXPECT_FALSE(out[k].lines[0].warning);
      } else {
        EXPECT_TRUE(files[k].ok) << k;
        EXPECT_TRUE(out[k].lines.empty()) << k;
        EXPECT_TRUE(got == take(expected[k], lengths[k])) << "file " << k << " pass " << pass;
      }
    }
  }
  for (size_t k = 0; k < n; ++k) {
    handles[k].close();
    std::remove(paths[k].c_str());
  }
}
