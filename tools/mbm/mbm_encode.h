// MBM encoder: the writing half of the picture format that Image::loadMbm
// reads. Used to make the player's picture resources and by the tests.
//
// Include as "tools/mbm/mbm_encode.h" and link kor_mbm_encode (which brings
// kor_image and its include path).
//
// The format code fixes what Image it takes:
//   0  1-bit with palette        compression 0 (packed rows), 1 (bit runs)
//   1  1-bit without palette     compression 0, 1
//   2  8-bit with palette        compression 0 (1024-byte palette, raw
//                                indices), 1 (count, value pairs), 2, 3, 4
//                                (literals and runs); 1 to 4 store the palette
//                                as a count and that many entries, trailing
//                                all-zero entries left out (they decode as zero)
//   3  8-bit without palette     compression 0 (raw bytes right after the
//                                header), 1 (count, value pairs)
//   4  24-bit                    compression 0 (raw), 1 (4-byte runs)
//   5  32-bit                    compression 0 (raw), 1 (5-byte runs),
//                                2 (literal pixels and short/long runs)
// A 1-bit picture's row padding bits are stored as they are by compression 0
// and come back as 0 from compression 1.
//
// Runs are cut greedily at the longest unit the coding has, so a fully
// transparent 798 x 600 picture in format 5, compression 2 is 76 bytes: the
// header and eight long runs.
//
// Format 5, compression 2 cannot store a lone fully transparent pixel whose
// red byte is not 0 (only a run can carry it). Such a pixel is written with
// red 0: the colour of a fully transparent pixel weighs nothing in any
// drawing, so the picture looks the same; it is the one lossy case.
#pragma once

#include <cstdint>
#include <vector>

#include "image/image.h"

// Results of encodeMbm.
enum MbmEncodeStatus {
  MbmEncoded = 0,
  MbmBadCodes = 1,        // format above 5, or compression not accepted for it
  MbmWrongImage = 2,      // empty Image, or depth/palette not what the format takes
  MbmUnrepresentable = 3  // a pixel value the compression cannot hold in its
                          // place: in 8-bit compression 2 a 255, in 3 a value
                          // of 128 or more, in 4 a 254 or 255, that stands in a
                          // run shorter than the shortest run unit (4, 3, 4)
};

// Encodes image as an MBM resource of the given format and compression.
// Returns the bytes, or an empty vector on failure with the reason in *status
// (when status is not null; MbmEncoded on success).
std::vector<unsigned char> encodeMbm(const Image& image, int format, int compression,
                                     int* status = nullptr);
