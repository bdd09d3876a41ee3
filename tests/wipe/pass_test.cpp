#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "open_named.h"
#include "scratch_path.h"
#include "wipe/erase/data_plan.h"
#include "wipe/erase/erase.h"
#include "wipe/erase/pass_writer.h"
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
    wipeRandom.seed(6334, 18467, 41);
    WipeRandom expected = wipeRandom;
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
    for (int pass = 1; pass <= 2; ++pass) {
      // The first pass on the overlapped path, the second in line.
      unsigned char* overlap = pass == 1 ? spare.data() : nullptr;
      ASSERT_EQ(writePassOverlapped(f, buf.data(), overlap, c.length, nullptr), Erased) << c.what;
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
    EXPECT_EQ(std::make_tuple(wipeRandom.s1, wipeRandom.s2, wipeRandom.s3),
              std::make_tuple(expected.s1, expected.s2, expected.s3))
        << c.what << ": the stream must move on by the whole length every pass";
    f.close();
    std::remove(path.c_str());
  }
}
