// The pass writer with the overlap and the progress line (erase_pass.cpp).
#pragma once

#include <cstdint>

#include "wipe/erase/erase.h"

struct OsFile;
struct ProgressLine;

// writePass, plus: with a spare buffer of kSegmentSize bytes, the next
// segment is generated while the previous one is written (null spare: one
// after the other); with a progress line, it follows the pass. Bytes, writes,
// flush and messages are exactly those of writePass.
EraseStatus writePassOverlapped(OsFile& f, unsigned char* buf, unsigned char* spare, uint64_t length,
                                ProgressLine* progress);

// Prints the write error line for segment (clearing the progress line first
// when there is one) and returns WriteFailed.
EraseStatus writeFailed(uint64_t segment, ProgressLine* progress);
