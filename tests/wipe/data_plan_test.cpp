// The data of a pass: which runs of a segment are written (asked of the
// file system for a real sparse file) and which stream bytes they get.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "open_named.h"
#include "scratch_path.h"
#include "wipe/erase/data_plan.h"
#include "wipe/erase/erase.h"
#include "wipe/os/os.h"
#include "wipe/random/random.h"

namespace {
constexpr uint64_t K = 1024, M = 1024 * 1024, S = kSegmentSize;
using Runs = std::vector<std::pair<uint64_t, uint64_t>>;  // offset, length

// A file of length bytes holding data only in runs (the rest holes).
bool makeSparse(const std::string& path, uint64_t length, const Runs& runs) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return false;
  bool ok = ftruncate(fd, (off_t)length) == 0;
  for (const auto& r : runs) {
    std::vector<unsigned char> data((size_t)r.second, 0xA5);
    ok = ok && pwrite(fd, data.data(), data.size(), (off_t)r.first) == (ssize_t)data.size();
  }
  close(fd);
  return ok;
}

// Whether the scratch folder's file system keeps holes at all.
bool keepsHoles() {
  std::string path = scratchPath("holes.bin");
  bool holes = false;
  if (makeSparse(path, 4 * M, {{0, 64 * K}})) {
    int fd = open(path.c_str(), O_RDONLY);
    holes = fd >= 0 && lseek(fd, 0, SEEK_HOLE) < (off_t)(4 * M);
    if (fd >= 0) close(fd);
  }
  unlink(path.c_str());
  return holes;
}
}  // namespace

TEST(DataPlan, SegmentsOfARealSparseFile) {
  if (!keepsHoles()) GTEST_SKIP() << "the scratch folder's file system keeps no holes";
  struct Case {
    uint64_t length;
    Runs data;
    std::vector<Runs> want;  // per segment: the pieces
    const char* what;
  } cases[] = {
      {2 * S + 5000, {{0, 2 * S + 5000}}, {{{0, S}}, {{S, S}}, {{2 * S, 5000}}}, "no holes: whole segments"},
      {S + 4 * M, {}, {{}, {}}, "holes only"},
      {3 * S,
       {{0, 64 * K}, {M, 128 * K}, {S - 64 * K, 128 * K}, {3 * S - 64 * K, 64 * K}},
       {{{0, 64 * K}, {M, 128 * K}, {S - 64 * K, 64 * K}}, {{S, 64 * K}}, {{3 * S - 64 * K, 64 * K}}},
       "runs at the start, inside, across a segment boundary, at the end"},
      {2 * S + 12345, {{2 * S, 12345}}, {{}, {}, {{2 * S, 12345}}}, "data only in the partial tail"},
      {S, {{4 * M, 8 * M}}, {{{4 * M, 8 * M}}}, "one run inside one segment"},
  };
  for (const Case& c : cases) {
    std::string path = scratchPath("plan.bin");
    ASSERT_TRUE(makeSparse(path, c.length, c.data)) << c.what;
    OsDir dir;
    OsFile f;
    ASSERT_EQ(openNamed(path, dir, f), OsOpenResult::Opened) << c.what;
    DataCursor cursor;
    startDataCursor(cursor, f, c.length);
    ASSERT_EQ(segmentCount(c.length), c.want.size()) << c.what;
    for (uint64_t seg = 0; seg < c.want.size(); ++seg) {
      SegmentPlan plan;
      planSegment(cursor, seg, plan);
      Runs got;
      size_t bytes = 0;
      for (const DataPiece& p : plan.pieces) got.push_back({p.offset, p.length}), bytes += p.length;
      EXPECT_EQ(got, c.want[seg]) << c.what << ", segment " << seg;
      EXPECT_EQ(plan.dataBytes, bytes) << c.what << ", segment " << seg;
      EXPECT_EQ(plan.start, seg * S) << c.what;
      EXPECT_EQ(plan.span, (size_t)std::min<uint64_t>(S, c.length - seg * S)) << c.what;
    }
    f.close();
    unlink(path.c_str());
  }
}

// Every written byte is the one the whole segment would have had at its
// place, and the generator ends where filling the whole segment leaves it.
TEST(DataPlan, FillGivesEachByteItsPlaceInTheStream) {
  struct Case {
    uint64_t start;
    size_t span;
    Runs pieces;
    const char* what;
  } cases[] = {
      {0, 100000, {{0, 100000}}, "one piece, the whole segment"},
      {S, 100000, {}, "a hole: nothing made, the stream still moves on"},
      {0, 100000, {{0, 1}, {99999, 1}}, "the first and the last byte"},
      {2 * S, 300000, {{2 * S + 4096, 8192}, {2 * S + 65536, 100000}, {2 * S + 200000, 100000}},
       "holes before, between, none after"},
      {0, 9000, {{17, 4500}, {4600, 300}}, "pieces shorter than a lane block, odd offsets"},
  };
  for (const Case& c : cases) {
    SegmentPlan plan;
    plan.start = c.start;
    plan.span = c.span;
    for (const auto& p : c.pieces) {
      plan.pieces.push_back({p.first, (size_t)p.second});
      plan.dataBytes += (size_t)p.second;
    }
    WipeRandom r, whole;
    r.seed(6334, 18467, 41);
    whole = r;
    std::vector<unsigned char> all(c.span), buf(plan.dataBytes + 1, 0);
    whole.fill(all.data(), all.size());
    fillSegment(r, plan, buf.data());
    size_t used = 0;
    for (const DataPiece& p : plan.pieces) {
      EXPECT_TRUE(std::equal(buf.begin() + used, buf.begin() + used + p.length,
                             all.begin() + (p.offset - c.start)))
          << c.what << ": piece at " << p.offset;
      used += p.length;
    }
    EXPECT_EQ(std::make_tuple(r.s1, r.s2, r.s3), std::make_tuple(whole.s1, whole.s2, whole.s3)) << c.what;
  }
}
