#include <cstdio>
#include <string>

#include "wipe/erase/erase.h"
#include "wipe/erase/pass_writer.h"
#include "wipe/erase/progress.h"
#include "wipe/erase/report.h"
#include "wipe/erase/segment_writer.h"
#include "wipe/os/os.h"
#include "wipe/os/testhooks.h"
#include "wipe/random/random.h"

uint64_t passesFlushed = 0;

EraseStatus writeFailed(uint64_t segment, ProgressLine* progress) {
  if (progress) progress->clear();  // the message must not land on the progress line
  // The number is followed by the letter l: the message has always read so.
  reportLine("error writing file (segment %sl)\n", std::to_string(segment).c_str());
  return WriteFailed;
}

static size_t segmentBytes(uint64_t seg, uint64_t whole, uint64_t length) {
  return seg < whole ? (size_t)kSegmentSize : (size_t)(length % kSegmentSize);
}

static void showProgress(ProgressLine* progress, uint64_t passBytes) {
  if (progress) progress->update(passBytes);
}

// One segment after the other: fill, write, fill, write.
static EraseStatus writeInLine(OsFile& f, unsigned char* buf, uint64_t length, uint64_t count,
                               ProgressLine* progress) {
  uint64_t whole = length / kSegmentSize;
  for (uint64_t seg = 0; seg < count; ++seg) {
    size_t n = segmentBytes(seg, whole, length);
    wipeRandom.fill(buf, n);
    if (!osWriteAll(f, buf, n)) return writeFailed(seg, progress);
    showProgress(progress, seg * kSegmentSize + n);
  }
  return Erased;
}

// Segment k+1 is generated into the other buffer while segment k is written.
// The writes, their order and sizes are those of writeInLine. When a write
// fails the generator is put back to where it stood after the failed
// segment, as if the next one had never been made: the stream that later
// files receive does not depend on the overlap.
static EraseStatus writeOverlapped(SegmentWriter& writer, unsigned char* const bufs[2], uint64_t length,
                                   uint64_t count, ProgressLine* progress) {
  uint64_t whole = length / kSegmentSize;
  for (uint64_t seg = 0; seg < count; ++seg) {
    size_t n = segmentBytes(seg, whole, length);
    unsigned char* buf = bufs[seg & 1];
    WipeRandom beforeFill = wipeRandom;
    wipeRandom.fill(buf, n);
    if (seg > 0) {
      if (!writer.wait()) {
        wipeRandom = beforeFill;
        return writeFailed(seg - 1, progress);
      }
      showProgress(progress, seg * kSegmentSize);
    }
    writer.submit(buf, n);
  }
  if (!writer.wait()) return writeFailed(count - 1, progress);
  showProgress(progress, length);
  return Erased;
}

EraseStatus writePassOverlapped(OsFile& f, unsigned char* buf, unsigned char* spare, uint64_t length,
                                ProgressLine* progress) {
  // A pass that cannot start at offset 0 would write somewhere else than
  // over the old contents.
  if (!osSeekStart(f)) return writeFailed(0, progress);
  uint64_t whole = length / kSegmentSize;
  uint64_t count = whole + (length % kSegmentSize != 0 ? 1 : 0);
  EraseStatus st = Erased;
  if (spare != nullptr && count >= 2) {
    SegmentWriter writer(f);
    unsigned char* const bufs[2] = {buf, spare};
    st = writer.running ? writeOverlapped(writer, bufs, length, count, progress)
                        : writeInLine(f, buf, length, count, progress);
  } else {
    st = writeInLine(f, buf, length, count, progress);
  }
  if (st != Erased) return st;
  // Each pass must reach the disk before the next one starts: otherwise the
  // passes merge in the cache and only the last (or none, once the file is
  // deleted) is ever written. A failed flush is a failed write of the pass.
  if (!osFlush(f)) return writeFailed(count == 0 ? 0 : count - 1, progress);
  testSnapshot(f, ++passesFlushed);
  return Erased;
}

EraseStatus writePass(OsFile& f, unsigned char* buf, uint64_t length) {
  return writePassOverlapped(f, buf, nullptr, length, nullptr);
}
