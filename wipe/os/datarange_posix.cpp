#include <unistd.h>

#include <cerrno>

#include "wipe/os/datarange.h"
#include "wipe/os/os.h"

#ifdef __linux__
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

#include <cstring>
#endif

namespace {

// What the file system answered about [from, end).
enum class Answer { Data, Holes, CannotTell };

// lseek(SEEK_DATA, SEEK_HOLE): what a file system without block maps (tmpfs
// and others) still answers.
Answer seekNextData(int fd, uint64_t from, uint64_t end, OsDataRange& out) {
  off_t data = lseek(fd, (off_t)from, SEEK_DATA);
  if (data < 0) return errno == ENXIO ? Answer::Holes : Answer::CannotTell;  // ENXIO: holes to the end
  if ((uint64_t)data >= end) return Answer::Holes;
  off_t hole = lseek(fd, data, SEEK_HOLE);
  uint64_t stop = hole < 0 || (uint64_t)hole > end || hole <= data ? end : (uint64_t)hole;
  out = {(uint64_t)data, stop - (uint64_t)data};
  return Answer::Data;
}

#ifdef __linux__
// Extents asked for at a time. Extents that follow one another without a
// gap are joined into one run, so a file in many extents is still written in
// segments, not in extent-sized bits.
constexpr unsigned kExtentBatch = 32;

// FS_IOC_FIEMAP: the ranges the file system holds blocks for. Unwritten
// extents (preallocated, or zeroed with FALLOC_FL_ZERO_RANGE, which on ext4
// only flags the extent and leaves the old blocks as they are) and delayed
// allocations are data too: only a range with no block at all is a hole.
Answer mapNextData(int fd, uint64_t from, uint64_t end, OsDataRange& out, bool& unsupported) {
  uint64_t storage[(sizeof(fiemap) + kExtentBatch * sizeof(fiemap_extent)) / sizeof(uint64_t)];
  fiemap* map = reinterpret_cast<fiemap*>(storage);
  bool haveRun = false;
  uint64_t runStart = 0, runEnd = 0;
  for (uint64_t at = from;;) {
    std::memset(storage, 0, sizeof storage);
    map->fm_start = at;
    map->fm_length = end - at;
    map->fm_extent_count = kExtentBatch;
    if (ioctl(fd, FS_IOC_FIEMAP, map) < 0) {
      unsupported = !haveRun && (errno == EOPNOTSUPP || errno == ENOTTY);
      if (!haveRun) return Answer::CannotTell;
      // Failed half-way through a run: its rest cannot be told from a hole.
      out = {runStart, end - runStart};
      return Answer::Data;
    }
    bool last = map->fm_mapped_extents < kExtentBatch;  // no more extents in [at, end)
    uint64_t next = at;
    for (unsigned i = 0; i < map->fm_mapped_extents && i < kExtentBatch; ++i) {
      const fiemap_extent& e = map->fm_extents[i];
      uint64_t start = e.fe_logical > from ? e.fe_logical : from;
      uint64_t stop = e.fe_logical >= end || e.fe_length > end - e.fe_logical ? end : e.fe_logical + e.fe_length;
      if (e.fe_flags & FIEMAP_EXTENT_LAST) last = true;
      if (stop > next) next = stop;
      if (stop <= start) continue;
      if (!haveRun) {
        haveRun = true;
        runStart = start;
        runEnd = stop;
      } else if (start <= runEnd) {
        if (stop > runEnd) runEnd = stop;
      } else {
        last = true;  // a gap: the run ends here
        break;
      }
      if (last) break;
    }
    if (last || next >= end) break;
    if (next <= at) {
      // An answer that does not move on cannot be trusted: the rest is data.
      if (!haveRun) runStart = at;
      runEnd = end;
      haveRun = true;
      break;
    }
    at = next;
  }
  if (!haveRun) return Answer::Holes;
  out = {runStart, runEnd - runStart};
  return Answer::Data;
}
#endif

}  // namespace

bool osNextData(OsFile& f, uint64_t from, uint64_t end, OsDataRange& out) {
  if (from >= end) return false;
  int fd = (int)f.handle;
#ifdef __linux__
  bool unsupported = false;
  Answer a = mapNextData(fd, from, end, out, unsupported);
  if (unsupported) a = seekNextData(fd, from, end, out);
#else
  Answer a = seekNextData(fd, from, end, out);
#endif
  if (a == Answer::CannotTell) out = {from, end - from};
  return a != Answer::Holes;
}
