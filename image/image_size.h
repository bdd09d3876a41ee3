// The one place where buffer sizes are computed.
//
// Widths and heights are 32-bit, so width * height * 4 can exceed 32 bits;
// everything is done here in 64 bits and refused above a limit, before any
// allocation. The limit (1 GiB for one buffer) is far above any picture the
// player handles (a 4K frame is 33 MB) and keeps a crafted header from asking
// for more than a 32-bit process can address.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint64_t kMaxImageBufferBytes = uint64_t(1) << 30;

// Bytes of one row of width pixels at the depth (1, 8, 24, 32); 0 for
// another depth or a negative width. 64-bit, cannot overflow for 32-bit input.
uint64_t imageRowBytes(int64_t width, int bitsPerPixel);

// Bytes of a width x height picture at the depth. False when an argument is
// out of range (negative size, unknown depth) or the size exceeds the limit.
bool imageBufferSize(int64_t width, int64_t height, int bitsPerPixel, size_t* bytes);

// count items of itemBytes each, false above the limit.
bool imageArraySize(uint64_t count, uint64_t itemBytes, size_t* bytes);
