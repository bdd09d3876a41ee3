// Writing one pass of the overwrite over one file or many side by side: the
// one way every pass is written (erase.cpp one file after the other,
// batch.cpp many small files at once).
#pragma once

#include <cstddef>
#include <cstdint>

struct OsFile;
struct ProgressLine;
struct Transcript;
struct WipeRandom;

// One file's part in a pass.
struct PassFile {
  OsFile* file = nullptr;
  uint64_t length = 0;
  WipeRandom* stream = nullptr;      // its bytes: the next length bytes of this stream
  ProgressLine* progress = nullptr;  // a progress line that follows the pass, when set
  Transcript* transcript = nullptr;  // where its error line goes; null: straight out
  uint64_t ordinal = 0;              // the pass's place in the run, for the test build's snapshot
  bool ok = true;                    // false once a write or flush of it has failed
};

// Writes one pass over the n files: each from offset 0, every 16 MiB
// segment, then the partial one, each filled with fresh bytes from the
// file's stream and written in one go (with a spare buffer of kSegmentSize
// bytes the next segment is generated while the one before is written);
// then all of them are flushed to the disk together. A file whose write or
// flush fails gets its write error line ("error writing file (segment Nl)")
// and ok cleared; the others go on. Files already not ok are left alone.
// buf holds at least min(largest length, kSegmentSize) bytes.
void writePass(PassFile* const* files, size_t n, unsigned char* buf, unsigned char* spare);
