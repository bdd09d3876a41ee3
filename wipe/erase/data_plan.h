// The data of a pass, segment by segment.
//
// A pass writes the file in segments of kSegmentSize from offset 0, and
// byte k of the file always gets byte k of the pass's stretch of the
// generator's stream. Of each segment only the runs the file system holds
// as data are written (datarange.h): a hole gets nothing, and the
// generator jumps over it (WipeRandom::skip) instead of making bytes no one
// writes. A file without holes is one run from end to end: its segments are
// made and written exactly as they always were.
//
// The runs are asked afresh for every pass, as the pass goes, never once
// for the whole erase: data that another writer puts into a hole while the
// file is erased is data like any other, and the passes that start after
// it cover it. (Asked once, it would stay for good: no later pass would
// know of it.) What is written into a hole after the last pass has gone by
// it stays, as anything written to the file after its last pass does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wipe/os/datarange.h"

struct OsFile;
struct WipeRandom;

// One run of data inside a segment: file offset and length. A segment's
// runs lie one after another in its buffer, in file order.
struct DataPiece {
  uint64_t offset;
  size_t length;
};

struct SegmentPlan {
  uint64_t index = 0;  // the segment's number, as error messages give it
  uint64_t start = 0;  // its first byte in the file
  size_t span = 0;     // its length: kSegmentSize, or the file's tail
  std::vector<DataPiece> pieces;
  size_t dataBytes = 0;  // the pieces' lengths summed: the buffer bytes in use
};

// Walks the data of one pass over a file of length bytes. The last run the
// system gave is kept, so that a file without holes costs one question per
// pass, not one per segment.
struct DataCursor {
  OsFile* file = nullptr;
  uint64_t length = 0;
  OsDataRange run;
  bool haveRun = false;
  bool noMore = false;  // nothing but holes from run's end to the file's end
};

void startDataCursor(DataCursor& c, OsFile& f, uint64_t length);

// The plan of segment index (segments in increasing order).
void planSegment(DataCursor& c, uint64_t index, SegmentPlan& plan);

// Fills buf (at least plan.dataBytes bytes) with the plan's data bytes. r
// stands at the segment's first byte in the stream; it is left at the
// segment's end, as filling all span bytes would leave it.
void fillSegment(WipeRandom& r, const SegmentPlan& plan, unsigned char* buf);

// The segments of a file of length bytes.
uint64_t segmentCount(uint64_t length);
