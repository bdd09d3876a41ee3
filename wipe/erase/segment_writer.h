// Writes segments on a thread of its own, so that the next segment can be
// generated while the previous one goes to the disk.
//
// One segment is in flight at a time and segments are written in the order
// they are handed over, each run of data of a segment (data_plan.h) in one
// osWriteAllAt call at its offset, exactly as if they were written in line;
// each written run is also started on its way to the disk (writeback.h). The caller must not touch a buffer it handed over, nor the
// file, until wait() has returned. Costs one thread per pass and the second
// buffer; a pass of a single segment has nothing to overlap and does not use
// it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

struct OsFile;
struct SegmentPlan;

// Bytes of data written but not yet waited for on their way to the disk:
// four whole segments. Counted in data, not in segments: a sparse file's
// segments may hold a few KiB each, and waiting four of those behind would
// leave the disk a queue too short to keep busy.
constexpr uint64_t kWritebackLagBytes = 4 * 0x1000000ull;

struct SegmentWriter {
  OsFile& file;
  std::mutex lock;
  std::condition_variable changed;
  const unsigned char* data = nullptr;  // the segment's data runs, one after another; null when idle
  const SegmentPlan* plan = nullptr;    // where they go
  bool lastWriteOk = true;
  bool quit = false;
  bool running = false;  // false: the thread could not be started
  // Owned by the writer thread, for the write-back (writeback.h): the data
  // written in this pass, and for each segment written and not yet waited
  // for, its end offset and the data written up to its end; everything
  // before offset settled is known to be on the disk.
  struct Written {
    uint64_t end, dataUpTo;
  };
  std::deque<Written> unsettled;
  uint64_t written = 0;
  uint64_t settled = 0;
  std::thread thread;

  explicit SegmentWriter(OsFile& f);
  ~SegmentWriter();  // waits for the write in flight, then ends the thread
  SegmentWriter(const SegmentWriter&) = delete;
  SegmentWriter& operator=(const SegmentWriter&) = delete;

  // Hands one segment over: plan's data runs, whose bytes lie one after
  // another in data. The write before it must have been waited for; neither
  // may change until this one has been.
  void submit(const unsigned char* data, const SegmentPlan& plan);
  // Waits until the segment in flight is written; false if that write failed.
  bool wait();
};
