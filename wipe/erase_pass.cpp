#include <cstdio>
#include <string>

#include "erase.h"
#include "os.h"
#include "random.h"

static EraseStatus writeFailed(uint64_t segment) {
  // The number is followed by the letter l: the message has always read so.
  std::printf("error writing file (segment %sl)\n", std::to_string(segment).c_str());
  return WriteFailed;
}

EraseStatus writePass(OsFile& f, unsigned char* buf, uint64_t length) {
  osSeekStart(f);
  uint64_t whole = length / kSegmentSize;
  size_t partial = (size_t)(length % kSegmentSize);
  for (uint64_t seg = 0; seg < whole; ++seg) {
    wipeRandom.fill(buf, (size_t)kSegmentSize);
    if (!osWriteAll(f, buf, (size_t)kSegmentSize)) return writeFailed(seg);
  }
  if (partial != 0) {
    wipeRandom.fill(buf, partial);
    if (!osWriteAll(f, buf, partial)) return writeFailed(whole);
  }
  // Each pass must reach the disk before the next one starts: otherwise the
  // passes merge in the cache and only the last (or none, once the file is
  // deleted) is ever written. A failed flush is a failed write of the pass.
  if (!osFlush(f)) return writeFailed(partial != 0 || whole == 0 ? whole : whole - 1);
  return Erased;
}
