#include "wipe/erase/segment_writer.h"

#include <system_error>

#include "wipe/erase/data_plan.h"
#include "wipe/os/os.h"
#include "wipe/os/writeback.h"

// Writes the segment's runs and starts each on its way to the disk. A
// write-back error counts as a failed write of this segment: it is the one
// in hand when the system reports it.
static bool writeRuns(SegmentWriter* w, const unsigned char* data, const SegmentPlan& plan) {
  for (const DataPiece& p : plan.pieces) {
    if (!osWriteAllAt(w->file, p.offset, data, p.length) || !writebackStart(w->file, p.offset, p.length))
      return false;
    data += p.length;
  }
  return true;
}

static void writerLoop(SegmentWriter* w) {
  std::unique_lock<std::mutex> hold(w->lock);
  for (;;) {
    w->changed.wait(hold, [w] { return w->data != nullptr || w->quit; });
    if (w->data == nullptr) return;
    const unsigned char* data = w->data;
    const SegmentPlan& plan = *w->plan;
    hold.unlock();
    bool ok = writeRuns(w, data, plan);
    if (ok && !plan.pieces.empty()) {
      // Keep a few segments' worth of data in flight to the disk: waiting
      // on the segment just before measured slower here, letting the cache
      // fill up (as a plain write does) slowest of all. What lies between
      // two segments' ends is waited for as one range; holes in it cost
      // nothing.
      const DataPiece& last = plan.pieces.back();
      w->written += plan.dataBytes;
      w->unsettled.push_back({last.offset + last.length, w->written});
      while (ok && w->written - w->unsettled.front().dataUpTo >= kWritebackLagBytes) {
        uint64_t upTo = w->unsettled.front().end;
        w->unsettled.pop_front();
        ok = writebackFinish(w->file, w->settled, upTo - w->settled);
        w->settled = upTo;
      }
    }
    hold.lock();
    w->lastWriteOk = ok;
    w->data = nullptr;
    w->changed.notify_all();
  }
}

SegmentWriter::SegmentWriter(OsFile& f) : file(f) {
  // The library reports a thread it cannot start by throwing; the caller then
  // simply writes in line.
  try {
    thread = std::thread(writerLoop, this);
    running = true;
  } catch (const std::system_error&) {
    running = false;
  }
}

SegmentWriter::~SegmentWriter() {
  if (!running) return;
  {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [this] { return data == nullptr; });
    quit = true;
  }
  changed.notify_all();
  thread.join();
}

void SegmentWriter::submit(const unsigned char* runs, const SegmentPlan& segment) {
  {
    std::lock_guard<std::mutex> hold(lock);
    data = runs;
    plan = &segment;
  }
  changed.notify_all();
}

bool SegmentWriter::wait() {
  std::unique_lock<std::mutex> hold(lock);
  changed.wait(hold, [this] { return data == nullptr; });
  return lastWriteOk;
}
