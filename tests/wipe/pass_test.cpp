#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "open_named.h"
#include "scratch_path.h"
#include "wipe/erase/data_plan.h"
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

using Runs = std::vector<std::pair<uint64_t, uint64_t>>;  // offset, length

// Whether the file system tells which blocks a file holds. Where it cannot
// (tmpfs), a reserved range is a hole like any other: fresh zeroed pages,
// nothing old in them.
bool mapsBlocks(int fd) {
  fiemap map = {};
  map.fm_length = ~0ULL;
  return ioctl(fd, FS_IOC_FIEMAP, &map) == 0;
}

// The fewest pieces the runs can be written in: runs that touch are one,
// cut only where a segment ends.
size_t fewestPieces(Runs runs) {
  std::sort(runs.begin(), runs.end());
  size_t n = 0;
  for (size_t i = 0; i < runs.size();) {
    uint64_t first = runs[i].first, end = runs[i].first + runs[i].second;
    for (++i; i < runs.size() && runs[i].first <= end; ++i) end = std::max(end, runs[i].first + runs[i].second);
    n += (size_t)((end - 1) / kSegmentSize - first / kSegmentSize + 1);
  }
  return n;
}
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

// A sparse file: each pass writes only the runs the file holds as data, each
// byte the one the stream has at its offset (as if the holes had been
// written too), continues the stream from the pass before, and leaves the
// holes holes: no block is added, the length stays. Ranges that hold blocks
// but read as holes (unwritten extents: reserved with fallocate, or zeroed
// with FALLOC_FL_ZERO_RANGE, which may leave the old contents in the blocks)
// are data: they are written too.
TEST(WritePass, WritesOnlyTheDataOfASparseFile) {
  const uint64_t M = 1 << 20;
  struct Case {
    uint64_t length;
    Runs runs;
    const char* what;
    int mode = 0;  // fallocate mode for the ranges in reserved, after the runs are written and synced
    Runs reserved;
  } cases[] = {
      {3 * kSegmentSize + 777, {{kSegmentSize - M / 4, M / 2}, {2 * kSegmentSize + 5 * M, 64 * 1024}},
       "a run across a segment boundary, one inside a segment, a hole at the end", 0, {}},
      {kSegmentSize + 4096, {{0, 8192}, {kSegmentSize, 4096}}, "runs at both ends", 0, {}},
      {2 * M, {}, "holes only", 0, {}},
      {2 * kSegmentSize + 12345, {{2 * kSegmentSize, 12345}}, "data only in the partial tail", 0, {}},
      {kSegmentSize, {{4 * M, 8 * M}}, "one run inside the only segment", 0, {}},
      {2 * kSegmentSize, {{kSegmentSize - M / 2, M}}, "every other block of a run zeroed: 256 extents in a row",
       FALLOC_FL_ZERO_RANGE, {}},
      {3 * kSegmentSize, {{M, M}}, "reserved, never written, across a segment boundary", 0,
       {{kSegmentSize - M, 3 * M}}},
  };
  for (uint64_t k = 0; k < M / 8192; ++k) cases[5].reserved.push_back({kSegmentSize - M / 2 + k * 8192, 4096});
  for (const Case& c : cases) {
    std::string path = scratchPath("pass_sparse.bin");
    {
      FILE* f = std::fopen(path.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      for (const auto& r : c.runs) {
        std::vector<unsigned char> fill((size_t)r.second, 0x5A);
        ASSERT_EQ(std::fseek(f, (long)r.first, SEEK_SET), 0);
        ASSERT_EQ(std::fwrite(fill.data(), 1, (size_t)r.second, f), r.second);
      }
      std::fclose(f);
      ASSERT_EQ(truncate(path.c_str(), (off_t)c.length), 0);
    }
    if (!c.reserved.empty()) {
      int fd = ::open(path.c_str(), O_RDWR);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(fsync(fd), 0);
      bool unwritten = mapsBlocks(fd);
      for (const auto& r : c.reserved) {
        if (fallocate(fd, c.mode, (off_t)r.first, (off_t)r.second) != 0) unwritten = false;
        // Counts only where the range now reads as a hole.
        else if (lseek(fd, (off_t)r.first, SEEK_DATA) == (off_t)r.first) unwritten = false;
      }
      close(fd);
      if (!unwritten) {
        std::remove(path.c_str());
        std::printf("%s: not measured (the scratch folder's file system keeps no block map or no unwritten extents)\n", c.what);
        continue;
      }
    }
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    if (c.runs.size() > 0 && (uint64_t)before.st_blocks * 512 >= c.length)
      GTEST_SKIP() << "the scratch folder's file system keeps no holes";
    WipeRandom stream, expected;
    stream.seed(6334, 18467, 41);
    expected = stream;
    std::vector<unsigned char> buf((size_t)std::min<uint64_t>(c.length, kSegmentSize));
    std::vector<unsigned char> spare((size_t)kSegmentSize);
    OsFile f;
    OsDir dir;
    ASSERT_EQ(openNamed(path, dir, f), OsOpenResult::Opened) << c.what;
    // However many extents the runs are in, runs that touch are one piece
    // of a segment: the writes stay large.
    DataCursor cursor;
    startDataCursor(cursor, f, c.length);
    SegmentPlan plan;
    size_t pieces = 0;
    for (uint64_t i = 0; i < segmentCount(c.length); ++i, pieces += plan.pieces.size()) planSegment(cursor, i, plan);
    Runs all = c.runs;
    all.insert(all.end(), c.reserved.begin(), c.reserved.end());
    EXPECT_LE(pieces, fewestPieces(all)) << c.what << ": the runs cut into more pieces than they need";
    // The second pass writes it beside a dense file, in line, as the batch
    // writes its files: each keeps its own stream.
    std::string besidePath = zeroFile("pass_beside.bin", 4096);
    OsDir besideDir;
    OsFile besideFile;
    ASSERT_EQ(openNamed(besidePath, besideDir, besideFile), OsOpenResult::Opened);
    WipeRandom besideStream, besideExpected;
    besideStream.seed(77, 88, 99);
    besideExpected = besideStream;
    PassFile one, beside;
    one.file = &f;
    one.length = c.length;
    one.stream = &stream;
    beside.file = &besideFile;
    beside.length = 4096;
    beside.stream = &besideStream;
    PassFile* const files[2] = {&one, &beside};
    for (int pass = 1; pass <= 2; ++pass) {
      writePass(files, pass, buf.data(), pass == 1 ? spare.data() : nullptr);
      ASSERT_TRUE(one.ok) << c.what << " pass " << pass;
      std::vector<unsigned char> want((size_t)c.length);
      expected.fill(want.data(), want.size());
      std::vector<unsigned char> got = readAll(path);
      ASSERT_EQ(got.size(), want.size()) << c.what;
      std::vector<unsigned char> holes(want.size(), 0);
      for (const auto& rs : {c.runs, c.reserved})
        for (const auto& r : rs)
          std::copy(want.begin() + r.first, want.begin() + r.first + r.second, holes.begin() + r.first);
      EXPECT_TRUE(got == holes) << c.what << " pass " << pass << ": not the stream in the runs and zeros between";
    }
    struct stat after;
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    // Fewer is fine: extents that become one may need less of the tree.
    EXPECT_LE(after.st_blocks, before.st_blocks) << c.what << ": blocks added";
    EXPECT_TRUE(sameState(stream, expected)) << c.what << ": the stream must move on by the whole length every pass";
    EXPECT_TRUE(beside.ok && readAll(besidePath) == take(besideExpected, 4096)) << c.what << ": the file beside it";
    f.close();
    besideFile.close();
    std::remove(path.c_str());
    std::remove(besidePath.c_str());
  }
}
