#include "wipe/erase/data_plan.h"

#include "wipe/erase/erase.h"
#include "wipe/random/random.h"

uint64_t segmentCount(uint64_t length) { return length / kSegmentSize + (length % kSegmentSize != 0 ? 1 : 0); }

void startDataCursor(DataCursor& c, OsFile& f, uint64_t length) {
  c = DataCursor();
  c.file = &f;
  c.length = length;
}

void planSegment(DataCursor& c, uint64_t index, SegmentPlan& plan) {
  plan.index = index;
  plan.start = index * kSegmentSize;
  uint64_t end = plan.start + kSegmentSize < c.length ? plan.start + kSegmentSize : c.length;
  plan.span = end > plan.start ? (size_t)(end - plan.start) : 0;
  plan.pieces.clear();
  plan.dataBytes = 0;
  for (uint64_t at = plan.start; at < end;) {
    if (!c.haveRun || c.run.offset + c.run.length <= at) {
      if (c.noMore || !osNextData(*c.file, at, c.length, c.run)) {
        c.noMore = true;
        break;
      }
      c.haveRun = true;
      // An answer that does not reach past at cannot be right: the rest is
      // then taken as data, as where the system cannot tell.
      if (c.run.offset + c.run.length <= at) c.run = {at, c.length - at};
    }
    if (c.run.offset >= end) break;
    uint64_t from = c.run.offset > at ? c.run.offset : at;
    uint64_t to = c.run.offset + c.run.length < end ? c.run.offset + c.run.length : end;
    plan.pieces.push_back({from, (size_t)(to - from)});
    plan.dataBytes += (size_t)(to - from);
    at = to;
  }
}

void fillSegment(WipeRandom& r, const SegmentPlan& plan, unsigned char* buf) {
  uint64_t at = plan.start;
  size_t used = 0;
  for (const DataPiece& p : plan.pieces) {
    if (p.offset > at) r.skip(p.offset - at);
    r.fill(buf + used, p.length);
    used += p.length;
    at = p.offset + p.length;
  }
  uint64_t end = plan.start + plan.span;
  if (end > at) r.skip(end - at);
}
