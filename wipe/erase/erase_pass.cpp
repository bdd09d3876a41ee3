#include <cstdio>
#include <string>

#include "wipe/erase/data_plan.h"
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

static void showProgress(ProgressLine* progress, uint64_t passBytes) {
  if (progress) progress->update(passBytes);
}

bool writeSegmentRuns(OsFile& f, const SegmentPlan& plan, const unsigned char* data) {
  for (const DataPiece& p : plan.pieces) {
    if (!osWriteAllAt(f, p.offset, data, p.length)) return false;
    data += p.length;
  }
  return true;
}

// One segment after the other: plan, fill, write, plan, fill, write.
static EraseStatus writeInLine(OsFile& f, unsigned char* buf, uint64_t length, uint64_t count,
                               ProgressLine* progress) {
  DataCursor cursor;
  startDataCursor(cursor, f, length);
  SegmentPlan plan;
  for (uint64_t seg = 0; seg < count; ++seg) {
    planSegment(cursor, seg, plan);
    fillSegment(wipeRandom, plan, buf);
    if (!writeSegmentRuns(f, plan, buf)) return writeFailed(seg, progress);
    showProgress(progress, plan.start + plan.span);
  }
  return Erased;
}

// Segment k+1 is planned and generated into the other buffer while segment
// k is written. The writes, their order and sizes are those of writeInLine.
// When a write fails the generator is put back to where it stood after the
// failed segment, as if the next one had never been made: the stream that
// later files receive does not depend on the overlap. A segment that is a
// hole from end to end is not handed over at all.
static EraseStatus writeOverlapped(SegmentWriter& writer, unsigned char* const bufs[2], OsFile& f,
                                   uint64_t length, uint64_t count, ProgressLine* progress) {
  DataCursor cursor;
  startDataCursor(cursor, f, length);
  SegmentPlan plans[2];
  bool inFlight = false;
  uint64_t flying = 0;  // the segment in flight
  for (uint64_t seg = 0; seg < count; ++seg) {
    SegmentPlan& plan = plans[seg & 1];
    unsigned char* buf = bufs[seg & 1];
    planSegment(cursor, seg, plan);
    WipeRandom beforeFill = wipeRandom;
    fillSegment(wipeRandom, plan, buf);
    if (inFlight) {
      inFlight = false;
      if (!writer.wait()) {
        wipeRandom = beforeFill;
        return writeFailed(flying, progress);
      }
      showProgress(progress, plan.start);
    }
    if (plan.pieces.empty()) {
      showProgress(progress, plan.start + plan.span);
      continue;
    }
    writer.submit(buf, plan);
    inFlight = true;
    flying = seg;
  }
  if (inFlight && !writer.wait()) return writeFailed(flying, progress);
  showProgress(progress, length);
  return Erased;
}

EraseStatus writePassOverlapped(OsFile& f, unsigned char* buf, unsigned char* spare, uint64_t length,
                                ProgressLine* progress) {
  // Every write names its offset: the pass needs no file position, and the
  // questions about holes (which move it) can be asked between writes.
  uint64_t count = segmentCount(length);
  EraseStatus st = Erased;
  if (spare != nullptr && count >= 2) {
    SegmentWriter writer(f);
    unsigned char* const bufs[2] = {buf, spare};
    st = writer.running ? writeOverlapped(writer, bufs, f, length, count, progress)
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
