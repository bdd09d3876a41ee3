// Moving the disk work of a pass forward, while the pass is still written.
//
// Written bytes normally sit in the cache until the pass's flush, so the disk
// idles while segments are made and then does everything at the end. The
// writer thread instead starts each segment on its way to the disk as soon
// as it is written, and waits for the one before it, so that the disk works
// alongside the generator and the cache holds only a couple of segments.
// The bytes, the writes and the flush at the end of every pass stay as they
// are. An error that these calls report is an error of the pass, though: the
// system reports a failed write-back once, to whoever asks first, so the
// flush at the end of the pass would no longer see it. Where the platform
// has no such call they do nothing and succeed.
#pragma once

#include <cstddef>
#include <cstdint>

struct OsFile;

// Starts writing [offset, offset + n) of the file to the disk, without
// waiting. False when the system reports an error already.
bool writebackStart(OsFile& f, uint64_t offset, size_t n);

// Waits until [offset, offset + n) is on the disk, then lets the cache drop
// it. False when the system reports that the range could not be written. The
// range may span holes of a sparse file (many GiB): nothing waits there.
bool writebackFinish(OsFile& f, uint64_t offset, uint64_t n);
