// Erasing one file: overwrite it whole, move it to a neutral name, delete it.
#pragma once

#include <cstddef>
#include <cstdint>

struct OsDir;
struct OsEntry;
struct OsFile;

// Result of eraseFile. 1 and 4 are not used here (1 is the driver's general
// failure code); the values are also the single-file form's exit codes.
enum EraseStatus {
  Erased = 0,        // overwritten, moved to the fixed name where possible, deleted
  OpenFailed = 2,    // the file could not be opened for update
  NoMemory = 3,      // the overwrite buffer could not be allocated
  WriteFailed = 5,   // a segment write (or a pass's flush) failed; later passes abandoned
  DeleteFailed = 6,  // overwritten, but the final delete failed
};

// The name every erased file passes through, in the current directory.
extern const char* const kErasedName;

// Files are written in segments of this size; it is also the buffer's cap.
constexpr uint64_t kSegmentSize = 0x1000000;

// Automatic pass count for a file of this length: 5, 3 or 1.
int passesForSize(uint64_t length);

// Erases entry e of the open directory dir, printed as path, and prints its
// own error line on failure; prints nothing on standard output on success.
// Where the old contents may survive the overwrite (residue.h) one warning
// line goes to standard error. A link is removed as a name, never written
// through. A file that other names (hard links) still hold is not written:
// its name goes, its contents stay for them, and a warning line says so.
EraseStatus eraseFile(OsDir& dir, const OsEntry& e, const char* path);

// Writes one pass over the whole file from offset 0: every 16 MiB segment,
// then the partial one, each filled with fresh bytes and written in one go,
// then flushes to the disk. buf holds at least min(length, kSegmentSize)
// bytes. On failure prints the write error line and returns WriteFailed.
EraseStatus writePass(OsFile& f, unsigned char* buf, uint64_t length);
