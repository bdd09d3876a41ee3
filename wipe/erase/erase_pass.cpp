#include <memory>
#include <string>
#include <vector>

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

void reportWriteError(uint64_t segment, ProgressLine* progress) {
  if (progress) progress->clear();  // the message must not land on the progress line
  // The number is followed by the letter l: the message has always read so.
  reportLine("error writing file (segment %sl)\n", std::to_string(segment).c_str());
}

static bool writeFailed(PassFile& f, uint64_t segment) {
  reportWriteError(segment, f.progress);
  f.ok = false;
  return false;
}

static void showProgress(PassFile& f, uint64_t passBytes) {
  if (f.progress) f.progress->update(passBytes);
}

// Writes plan's runs of data, whose bytes lie one after another in data,
// each at its offset; false when a write fails.
static bool writeSegmentRuns(OsFile& f, const SegmentPlan& plan, const unsigned char* data) {
  for (const DataPiece& p : plan.pieces) {
    if (!osWriteAllAt(f, p.offset, data, p.length)) return false;
    data += p.length;
  }
  return true;
}

// One segment after the other: plan, fill, write, plan, fill, write.
static bool writeInLine(PassFile& f, unsigned char* buf, uint64_t count) {
  DataCursor cursor;
  startDataCursor(cursor, *f.file, f.length);
  SegmentPlan plan;
  for (uint64_t seg = 0; seg < count; ++seg) {
    planSegment(cursor, seg, plan);
    fillSegment(*f.stream, plan, buf);
    if (!writeSegmentRuns(*f.file, plan, buf)) return writeFailed(f, seg);
    showProgress(f, plan.start + plan.span);
  }
  return true;
}

// Segment k+1 is planned and generated into the other buffer while segment
// k is written. The writes, their order and sizes are those of writeInLine.
// When a write fails the stream is put back to where it stood after the
// failed segment, as if the next one had never been made: the stream that
// later files receive does not depend on the overlap. A segment that is a
// hole from end to end is not handed over at all.
static bool writeOverlapped(PassFile& f, SegmentWriter& writer, unsigned char* const bufs[2], uint64_t count) {
  DataCursor cursor;
  startDataCursor(cursor, *f.file, f.length);
  SegmentPlan plans[2];
  bool inFlight = false;
  uint64_t flying = 0;  // the segment in flight
  for (uint64_t seg = 0; seg < count; ++seg) {
    SegmentPlan& plan = plans[seg & 1];
    unsigned char* buf = bufs[seg & 1];
    planSegment(cursor, seg, plan);
    WipeRandom beforeFill = *f.stream;
    fillSegment(*f.stream, plan, buf);
    if (inFlight) {
      inFlight = false;
      if (!writer.wait()) {
        *f.stream = beforeFill;
        return writeFailed(f, flying);
      }
      showProgress(f, plan.start);
    }
    if (plan.pieces.empty()) {
      showProgress(f, plan.start + plan.span);
      continue;
    }
    writer.submit(buf, plan);
    inFlight = true;
    flying = seg;
  }
  if (inFlight && !writer.wait()) return writeFailed(f, flying);
  showProgress(f, f.length);
  return true;
}

// The pass's bytes over one file, not yet flushed. Every write names its
// offset: the pass needs no file position, and the questions about holes
// (which move it) can be asked between writes.
static bool writeFile(PassFile& f, unsigned char* buf, unsigned char* spare) {
  uint64_t count = segmentCount(f.length);
  if (spare == nullptr || count < 2) return writeInLine(f, buf, count);
  SegmentWriter writer(*f.file);
  unsigned char* const bufs[2] = {buf, spare};
  return writer.running ? writeOverlapped(f, writer, bufs, count) : writeInLine(f, buf, count);
}

void writePass(PassFile* const* files, size_t n, unsigned char* buf, unsigned char* spare) {
  Transcript* const outside = activeTranscript;
  std::vector<PassFile*> written;
  std::vector<OsFile*> handles;
  for (size_t i = 0; i < n; ++i) {
    PassFile& f = *files[i];
    if (!f.ok) continue;
    activeTranscript = f.transcript;
    if (!writeFile(f, buf, spare)) continue;
    written.push_back(&f);
    handles.push_back(f.file);
  }
  // Each pass must reach the disk before the next one starts: otherwise the
  // passes merge in the cache and only the last (or none, once the file is
  // deleted) is ever written. Several files share one flush of the device
  // where the system can (osFlushGroup). A failed flush is a failed write of
  // the pass's last segment.
  std::vector<char> flushed(written.size());
  if (written.size() == 1) {
    flushed[0] = osFlush(*handles[0]);
  } else if (!written.empty()) {
    std::unique_ptr<bool[]> ok(new bool[written.size()]);
    osFlushGroup(handles.data(), handles.size(), ok.get());
    for (size_t i = 0; i < written.size(); ++i) flushed[i] = ok[i];
  }
  for (size_t i = 0; i < written.size(); ++i) {
    PassFile& f = *written[i];
    activeTranscript = f.transcript;
    if (flushed[i])
      testSnapshot(*f.file, f.ordinal);
    else
      writeFailed(f, f.length == 0 ? 0 : segmentCount(f.length) - 1);
  }
  activeTranscript = outside;
}
