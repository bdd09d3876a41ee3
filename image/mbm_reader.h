// The one reader of MBM bytes.
//
// Resource bytes are untrusted: the header and the runs decide how far the
// decoder reads, so every read goes through this record, which knows where
// the data ends. A read past the end yields zeros and marks the reader failed;
// the decoders check that mark after each unit and report corrupt data. The
// end is kept as a count of bytes left, never as a pointer compared past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct MbmReader {
  const unsigned char* at;
  size_t left;
  bool failed = false;

  MbmReader(const unsigned char* data, size_t size) : at(data), left(size) {}

  unsigned byte() {
    if (left == 0) {
      failed = true;
      return 0;
    }
    --left;
    return *at++;
  }

  unsigned u16() {
    unsigned lo = byte();
    return lo | (byte() << 8);
  }

  int32_t i32() {
    uint32_t value = 0;
    for (int k = 0; k < 4; ++k) value |= static_cast<uint32_t>(byte()) << (8 * k);
    return static_cast<int32_t>(value);
  }

  // Copies count bytes to the buffer; false (and failed) when fewer are left,
  // in which case nothing is copied.
  bool copy(unsigned char* to, size_t count) {
    if (count > left) {
      failed = true;
      return false;
    }
    std::memcpy(to, at, count);
    at += count;
    left -= count;
    return true;
  }
};
