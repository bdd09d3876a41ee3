#include "erase.h"

#include <cstdio>
#include <memory>
#include <new>

#include "os.h"
#include "pass_writer.h"
#include "progress.h"
#include "residue.h"
#include "settings.h"

const char* const kErasedName = "this file has been erased.";

int passesForSize(uint64_t length) {
  if (length < 1024) return 5;
  if (length < 5120) return 3;
  return 1;
}

static EraseStatus removeLink(const char* path) {
  // Writing through a link would overwrite a file the user did not name;
  // only the link itself goes.
  if (osRemoveLink(path)) return Erased;
  std::printf("error erasing \"%s\" file\n", path);
  return DeleteFailed;
}

static EraseStatus overwrite(const char* path, uint64_t& lengthOut, bool& isLink, ResidueWatch& watch) {
  OsFile f;
  OsOpenResult opened = osOpenForUpdate(path, f);
  if (opened == OsOpenResult::IsLink) {
    isLink = true;
    return Erased;
  }
  // A file whose length or start cannot be had is not opened for our
  // purpose: overwriting a length of 0 would delete it unwritten.
  uint64_t length = 0;
  if (opened != OsOpenResult::Opened || !osFileLength(f, length) || !osSeekStart(f)) {
    std::printf("error opening %s file\n", path);
    return OpenFailed;
  }
  lengthOut = length;
  residueWatchStart(f, length, watch);

  size_t bufSize = length < kSegmentSize ? (size_t)length : (size_t)kSegmentSize;
  if (bufSize == 0) bufSize = 1;
  std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[bufSize]);
  if (!buf) {
    std::printf("error allocating memory\n");
    return NoMemory;
  }
  // A second segment buffer lets the next segment be generated while the
  // previous one is written. Only a file of more than one segment has
  // anything to overlap; without the memory it is simply written in line.
  std::unique_ptr<unsigned char[]> spare;
  if (length > kSegmentSize) spare.reset(new (std::nothrow) unsigned char[(size_t)kSegmentSize]);
  int passes = overwritePasses != 0 ? overwritePasses : passesForSize(length);
  ProgressLine progress;  // wiped on every way out, before any later message
  progress.begin(path, length, passes);
  for (int pass = 0; pass < passes; ++pass) {
    progress.beginPass(pass + 1);
    EraseStatus st = writePassOverlapped(f, buf.get(), spare.get(), length, &progress);
    if (st != Erased) return st;
  }
  residueWatchEnd(f, watch);
  return Erased;
}

EraseStatus eraseFile(const char* path) {
  if (osIsLink(osNameKind(path))) return removeLink(path);
  osClearReadOnly(path);

  uint64_t length = 0;
  bool isLink = false;
  ResidueWatch watch;
  EraseStatus st = overwrite(path, length, isLink, watch);
  if (isLink) return removeLink(path);  // became a link between the look and the open
  if (st != Erased) return st;
  // Printed once the progress line is gone; the erase goes on regardless.
  printResidueWarning(path, watch);

  // The neutral name hides the original name once the contents are gone. A
  // failed move (the name is taken, another volume) is not an error: the
  // file is then deleted under its own name.
  const char* toDelete = osMoveNoReplace(path, kErasedName) ? kErasedName : path;
  if (!osDeleteFile(toDelete)) {
    std::printf("error erasing \"%s\" file\n", toDelete);
    return DeleteFailed;
  }
  return Erased;
}
