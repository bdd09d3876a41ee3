// Erasing many small files side by side.
//
// Each pass of each file must be on the disk before the next pass of that
// file is written, and a flush costs about the same for one small file as
// for hundreds: one after the other, a tree of small files waits for one
// device flush per pass per file. So the forms do not erase files as they
// meet them; they queue the work in order (the lines they print, the files,
// the removal of each directory), and the queue is done in one go when it
// is full or when the form ends:
//
// - every queued file is opened in order (prepareFile); a file that needs
//   its own path (large, other hard links, named streams) splits the queue
//   there: what comes before it is finished first, then it is erased alone;
// - the others are written pass by pass side by side: pass k of every file,
//   then one shared flush (osFlushGroup), then pass k+1. Each file still
//   takes exactly its own place in the generator's stream: the place it
//   would have had one file after the other (WipeRandom::skip);
// - then each is finished in order (residue warning, neutral name, delete),
//   and the queue is printed in order: every file's lines, held in its own
//   transcript while it was worked on, the queued lines between them, and
//   the directories removed once everything before them is gone.
//
// The output, the exit codes and every file's bytes are those of erasing one
// file after the other, with one exception: after a file whose write fails,
// the files after it in the same batch take their places in the stream as
// if it had not failed (fresh bytes still, only not the same ones).
//
// Where it is weak: the flush is shared, not the write-back: each file's data
// is still written and waited for on its own (so that its own errors reach
// it), only the device's cache flush is done once per file system. Windows
// has no such call: there each file is flushed on its own, and the batch
// saves only the order of the work.
//
// Costs and limits: the queue holds at most osFilesAtOnce() files (4096 at
// most) and kBatchBytes bytes of them (their listed sizes; a file larger than
// kBatchFileMax goes alone and is not counted), so that many descriptors
// and that much unflushed data per pass; one buffer of the largest batched
// file's length. Directories stay open while their work is queued.
#pragma once

#include <cstdint>

#include "wipe/os/os.h"

constexpr uint64_t kBatchBytes = 32ull << 20;
constexpr int kBatchDirectories = 128;

// What the work a form queued came to, complete once runQueue has returned:
// how many of the entries it counts were erased or removed, and whether any
// of them failed.
struct EraseTally {
  int done = 0;
  bool anyFailed = false;
};

// Queues a line for standard output (printf-style, with its line end).
void queueLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Queues the erase of entry e of dir, printed as path. With a tally, the
// file's result counts: erased adds one to done, any other result sets
// anyFailed. Without one (a file inside a tree) its failure shows only in
// that its directory stays.
void queueFile(const DirRef& dir, const OsEntry& e, const char* path, EraseTally* tally);

// Queues the removal of directory e of parent, held open as dir, after all
// work queued before it. A failure sets tally.anyFailed; a removal adds one
// to tally.done when counted.
void queueRemoveDir(const DirRef& parent, const OsEntry& e, const DirRef& dir, EraseTally& tally, bool counted);

// Does everything queued, in order.
void runQueue();
