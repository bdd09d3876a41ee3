#include "wipe/erase/erase.h"
#include "wipe/erase/entry_action.h"

#include <memory>
#include <new>

#include "wipe/erase/pass_writer.h"
#include "wipe/erase/progress.h"
#include "wipe/erase/report.h"
#include "wipe/erase/residue.h"
#include "wipe/erase/settings.h"
#include "wipe/random/random.h"
#include "wipe/os/os.h"

const char* const kErasedName = "this file has been erased.";

int passesForSize(uint64_t length) {
  if (length < 1024) return 5;
  if (length < 5120) return 3;
  return 1;
}

static EraseStatus deleteFailed(const char* name) {
  reportLine("error erasing \"%s\" file\n", name);
  return DeleteFailed;
}

static EraseStatus openFailed(const char* path) {
  reportLine("error opening %s file\n", path);
  return OpenFailed;
}

// Writing through a link would overwrite a file the user did not name; only
// the link itself goes. An entry that has become a link since it was listed
// is looked up again, so that what is removed is the link now there.
static EraseStatus removeLink(OsDir& dir, const OsEntry& listed, const char* path) {
  OsEntry now;
  const OsEntry* link = &listed;
  if (!osIsLink(listed.kind)) {
    if (!osLookup(dir, listed.name, now) || !osIsLink(now.kind)) return deleteFailed(path);
    link = &now;
  }
  return osRemoveLinkAt(dir, *link) ? Erased : deleteFailed(path);
}

PrepareResult prepareFile(OsDir& dir, const OsEntry& e, const char* path, PreparedFile& p) {
  if (entryAction(e, EntryContext::Tree) == EntryAction::RemoveLink) return {false, removeLink(dir, e, path)};
  OsOpenResult opened = osOpenFileAt(dir, e, p.file);
  if (opened == OsOpenResult::IsLink) return {false, removeLink(dir, e, path)};
  // A file whose length, start or streams cannot be had is not opened for
  // our purpose: overwriting a length of 0 would delete it unwritten, and
  // a stream left out would keep contents the user asked to erase.
  if (opened != OsOpenResult::Opened || !osFileLength(p.file, p.length) || !osSeekStart(p.file) ||
      !osOpenNamedStreams(p.file, p.streams)) {
    p.file.close();
    return {false, openFailed(path)};
  }
  p.dir = &dir;
  p.entry = e;
  p.path = path;
  p.passes = overwritePasses != 0 ? overwritePasses : passesForSize(p.length);
  if (p.file.linkCount == 1) residueWatchStart(p.file, p.length, p.watch);
  return {true, Erased};
}

bool batchable(const PreparedFile& p) {
  return p.file.linkCount == 1 && p.streams.count == 0 && p.length <= kBatchFileMax;
}

// Every pass over one open stream of length bytes, each flushed to the disk.
static EraseStatus overwriteStream(OsFile& f, uint64_t length, const char* path) {
  size_t bufSize = length < kSegmentSize ? (size_t)length : (size_t)kSegmentSize;
  if (bufSize == 0) bufSize = 1;
  std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[bufSize]);
  if (!buf) {
    reportLine("error allocating memory\n");
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
  PassFile one;
  one.file = &f;
  one.length = length;
  one.stream = &wipeRandom;
  one.progress = &progress;
  one.transcript = activeTranscript;
  PassFile* const files[1] = {&one};
  for (int pass = 0; pass < passes; ++pass) {
    progress.beginPass(pass + 1);
    one.ordinal = passesFlushed + 1;
    writePass(files, 1, buf.get(), spare.get());
    if (!one.ok) return WriteFailed;
    ++passesFlushed;
  }
  return Erased;
}

// The named streams (Windows), each overwritten whole like the main
// contents, after them. Their handles are closed before the file moves.
static EraseStatus overwriteStreams(OsStreams& streams, const char* path) {
  for (size_t i = 0; i < streams.count; ++i) {
    uint64_t length = 0;
    if (!osFileLength(streams.files[i], length)) return openFailed(path);
    EraseStatus st = overwriteStream(streams.files[i], length, path);
    if (st != Erased) return st;
  }
  streams.files.reset();
  streams.count = 0;
  return Erased;
}

EraseStatus finishFile(PreparedFile& p) {
  residueWatchEnd(p.file, p.watch);
  printResidueWarning(p.path.c_str(), p.watch);
  // The neutral name hides the original name once the contents are gone. A
  // failed move (the name is taken, another volume) is not an error: the
  // file is then deleted under its own name.
  OsDir* current = osCurrentDir();
  bool moved = current && osMoveToCurrentDir(*p.dir, p.entry, p.file, kErasedName);
  if (!osDeleteFileAt(moved ? *current : *p.dir, moved ? kErasedName : p.entry.name, p.file))
    return deleteFailed(moved ? kErasedName : p.path.c_str());
  return Erased;
}

EraseStatus completeFile(PreparedFile& p) {
  // Contents that another name still holds are not ours to destroy: the
  // name the user gave goes, the contents stay for the other names.
  if (p.file.linkCount > 1) {
    reportWarning("warning: %s has other links; its contents were left to them\n", p.path.c_str());
    return osDeleteFileAt(*p.dir, p.entry.name, p.file) ? Erased : deleteFailed(p.path.c_str());
  }
  EraseStatus st = overwriteStream(p.file, p.length, p.path.c_str());
  if (st == Erased) st = overwriteStreams(p.streams, p.path.c_str());
  if (st != Erased) return st;
  return finishFile(p);
}

EraseStatus eraseFile(OsDir& dir, const OsEntry& e, const char* path) {
  PreparedFile p;
  PrepareResult r = prepareFile(dir, e, path, p);
  return r.ready ? completeFile(p) : r.status;
}
