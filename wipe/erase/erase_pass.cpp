#include <memory>
#include <string>
#include <vector>

#include "wipe/erase/erase.h"
#include "wipe/erase/pass_writer.h"
#include "wipe/erase/progress.h"
#include "wipe/erase/report.h"
#include "wipe/erase/segment_writer.h"
#include "wipe/os/os.h"
#include "wipe/os/testhooks.h"
#include "wipe/random/random.h"

uint64_t passesFlushed = 0;

// Prints the write error line for segment, the progress line wiped first so
// that the message does not land on it.
static bool writeFailed(PassFile& f, uint64_t segment) {
  if (f.progress) f.progress->clear();
  // The number is followed by the letter l: the message has always read so.
  reportLine("error writing file (segment %sl)\n", std::to_string(segment).c_str());
  f.ok = false;
  return false;
}

static size_t segmentBytes(uint64_t seg, uint64_t whole, uint64_t length) {
  return seg < whole ? (size_t)kSegmentSize : (size_t)(length % kSegmentSize);
}

static void showProgress(PassFile& f, uint64_t passBytes) {
  if (f.progress) f.progress->update(passBytes);
}

// One segment after the other: fill, write, fill, write.
static bool writeInLine(PassFile& f, unsigned char* buf, uint64_t count) {
  uint64_t whole = f.length / kSegmentSize;
  for (uint64_t seg = 0; seg < count; ++seg) {
    size_t n = segmentBytes(seg, whole, f.length);
    f.stream->fill(buf, n);
    if (!osWriteAll(*f.file, buf, n)) return writeFailed(f, seg);
    showProgress(f, seg * kSegmentSize + n);
  }
  return true;
}

// Segment k+1 is generated into the other buffer while segment k is written.
// The writes, their order and sizes are those of writeInLine. When a write
// fails the stream is put back to where it stood after the failed segment,
// as if the next one had never been made: the stream that later files
// receive does not depend on the overlap.
static bool writeOverlapped(PassFile& f, SegmentWriter& writer, unsigned char* const bufs[2], uint64_t count) {
  uint64_t whole = f.length / kSegmentSize;
  for (uint64_t seg = 0; seg < count; ++seg) {
    size_t n = segmentBytes(seg, whole, f.length);
    unsigned char* buf = bufs[seg & 1];
    WipeRandom beforeFill = *f.stream;
    f.stream->fill(buf, n);
    if (seg > 0) {
      if (!writer.wait()) {
        *f.stream = beforeFill;
        return writeFailed(f, seg - 1);
      }
      showProgress(f, seg * kSegmentSize);
    }
    writer.submit(buf, n);
  }
  if (!writer.wait()) return writeFailed(f, count - 1);
  showProgress(f, f.length);
  return true;
}

static uint64_t segmentCount(uint64_t length) {
  return length / kSegmentSize + (length % kSegmentSize != 0 ? 1 : 0);
}

// The pass's bytes over one file, not yet flushed.
static bool writeFile(PassFile& f, unsigned char* buf, unsigned char* spare) {
  // A pass that cannot start at offset 0 would write somewhere else than
  // over the old contents.
  if (!osSeekStart(*f.file)) return writeFailed(f, 0);
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
