#include "wipe/erase/segment_writer.h"

#include <system_error>

#include "wipe/os/os.h"
#include "wipe/os/writeback.h"

// Segments written but not yet waited for on their way to the disk.
constexpr int kWritebackLag = 4;

static void writerLoop(SegmentWriter* w) {
  std::unique_lock<std::mutex> hold(w->lock);
  for (;;) {
    w->changed.wait(hold, [w] { return w->data != nullptr || w->quit; });
    if (w->data == nullptr) return;
    const unsigned char* segment = w->data;
    size_t n = w->size;
    hold.unlock();
    // A write-back error counts as a failed write of this segment: it is
    // the one in hand when the system reports it.
    bool ok = osWriteAll(w->file, segment, n) && writebackStart(w->file, w->written, n);
    if (ok) {
      // Keep a few segments in flight to the disk: waiting on the one just
      // before measured slower here, letting the cache fill up (as a plain
      // write does) slowest of all.
      w->written += n;
      if (w->firstSize == 0) w->firstSize = n;
      uint64_t lagBytes = (uint64_t)kWritebackLag * w->firstSize;
      if (w->written > w->settled + lagBytes) {
        uint64_t upTo = w->written - lagBytes;
        ok = writebackFinish(w->file, w->settled, (size_t)(upTo - w->settled));
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

void SegmentWriter::submit(const unsigned char* segment, size_t n) {
  {
    std::lock_guard<std::mutex> hold(lock);
    data = segment;
    size = n;
  }
  changed.notify_all();
}

bool SegmentWriter::wait() {
  std::unique_lock<std::mutex> hold(lock);
  changed.wait(hold, [this] { return data == nullptr; });
  return lastWriteOk;
}
