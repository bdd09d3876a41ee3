// Writes segments on a thread of its own, so that the next segment can be
// generated while the previous one goes to the disk.
//
// One write is in flight at a time and writes happen in the order they are
// handed over, each segment in one osWriteAll call, exactly as if they were
// written in line; each written segment is also started on its way to the
// disk (writeback.h). The caller must not touch a buffer it handed over, nor the
// file, until wait() has returned. Costs one thread per pass and the second
// buffer; a pass of a single segment has nothing to overlap and does not use
// it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

struct OsFile;

struct SegmentWriter {
  OsFile& file;
  std::mutex lock;
  std::condition_variable changed;
  const unsigned char* data = nullptr;  // the segment to write; null when idle
  size_t size = 0;
  bool lastWriteOk = true;
  bool quit = false;
  bool running = false;  // false: the thread could not be started
  // Owned by the writer thread, for the write-back (writeback.h): bytes
  // written from offset 0 (where a pass starts), how many of them are known
  // to be on the disk, and the size of the first segment (a whole one).
  uint64_t written = 0;
  uint64_t settled = 0;
  size_t firstSize = 0;
  std::thread thread;

  explicit SegmentWriter(OsFile& f);
  ~SegmentWriter();  // waits for the write in flight, then ends the thread
  SegmentWriter(const SegmentWriter&) = delete;
  SegmentWriter& operator=(const SegmentWriter&) = delete;

  // Hands one segment over; the write before it must have been waited for.
  void submit(const unsigned char* segment, size_t n);
  // Waits until the segment in flight is written; false if that write failed.
  bool wait();
};
