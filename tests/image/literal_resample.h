// A literal implementation of the resampler's formulas, sample by sample with
// every fit made afresh: the oracle that the unit tests and the resampler
// benchmark hold Image::resample to, bit for bit.
#pragma once

#include "image/image.h"

// in scaled to newWidth x newHeight (both at least 1; in not empty), as
// Image::resample would leave it: 32-bit when a pixel is not fully opaque,
// else 24-bit.
Image literalResample(const Image& in, int newWidth, int newHeight);
