// Erasing one file: overwrite it whole, move it to a neutral name, delete it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "wipe/erase/residue.h"
#include "wipe/os/os.h"


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

// Passes written and flushed so far in the run, counted as if every file
// were erased one after the other (the test build names its copies so).
extern uint64_t passesFlushed;

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

// A file opened for erasing and not yet written: what eraseFile does
// before the first pass, kept so that the batch (batch.h) can write the
// passes of many such files side by side and finish each one after.
struct PreparedFile {
  OsDir* dir = nullptr;  // where the entry was listed; outlives this
  OsEntry entry;
  std::string path;      // as printed
  OsFile file;
  OsStreams streams;
  uint64_t length = 0;
  int passes = 0;
  ResidueWatch watch;
};

// Opens entry e of dir for erasing (prepare stands for every step of
// eraseFile up to the first pass). Ready: p holds the open file. Otherwise
// the entry is already dealt with (a link removed, an open failure
// reported) and status says how.
struct PrepareResult {
  bool ready;
  EraseStatus status;
};
PrepareResult prepareFile(OsDir& dir, const OsEntry& e, const char* path, PreparedFile& p);

// True when p can be erased by the batch's plain passes: a file that no
// other name holds, with no named streams, small enough to be written in
// one go (kBatchFileMax).
bool batchable(const PreparedFile& p);
constexpr uint64_t kBatchFileMax = 1 << 20;

// The rest of eraseFile for a prepared file, one pass after the other.
EraseStatus completeFile(PreparedFile& p);

// What follows the last pass: the residue warning, the move to the neutral
// name and the delete.
EraseStatus finishFile(PreparedFile& p);
