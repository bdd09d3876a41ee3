// Which parts of a file hold data.
//
// A sparse file has holes: ranges the file system keeps no blocks for, which
// read as zeros. They hold nothing of the file's old contents, so erasing
// writes only the data; writing the holes would allocate them, and a large
// sparse file on a small file system would fill it up before the erase got
// anywhere. A range counts as data when the file system holds blocks for it,
// whatever it reads as: unwritten extents (space reserved with fallocate, or
// a range zeroed with FALLOC_FL_ZERO_RANGE, which on ext4 only flags the
// extent and leaves its old contents in the blocks) read as zeros, and
// SEEK_DATA calls them holes, yet they may hold what the file held. Writing
// them allocates nothing, so holes still never fill the file system.
//
// Linux asks FS_IOC_FIEMAP for the file's extents, unwritten and delayed ones
// included, and joins extents that follow one another into one run; where
// the file system keeps no block map (tmpfs and others) it asks
// lseek(SEEK_DATA, SEEK_HOLE). Windows asks FSCTL_QUERY_ALLOCATED_RANGES for
// a file with the sparse attribute, and takes any other file as data from
// end to end. Where the system cannot tell, everything is data: the file is
// then written whole, as it always was. None of these calls moves anything
// the erase relies on: the passes write at explicit offsets.
#pragma once

#include <cstdint>

struct OsFile;

// A run of bytes of a file: [offset, offset + length).
struct OsDataRange {
  uint64_t offset = 0;
  uint64_t length = 0;
};

// The first run of data of f in [from, end), clipped to it: true with the
// run in out, false when [from, end) holds holes only. Asks the system each
// time: data another writer put into a hole since the last call is data now.
bool osNextData(OsFile& f, uint64_t from, uint64_t end, OsDataRange& out);
