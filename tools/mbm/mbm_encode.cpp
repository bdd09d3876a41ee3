// MBM encoder. See mbm_encode.h for what each format takes and stores.
//
// Pixel data is handled as runs of equal pixels over the whole picture (runs
// cross row ends, as the decoder's do); each run is then written in the units
// of the compression, cut with cutRun so that every unit has a legal length.
#include "mbm_encode.h"

#include <cstring>

namespace {

struct Writer {
  std::vector<unsigned char>& out;
  void byte(unsigned value) { out.push_back(static_cast<unsigned char>(value)); }
  void u16(unsigned value) {
    byte(value & 0xFF);
    byte((value >> 8) & 0xFF);
  }
  void i32(int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    for (int k = 0; k < 4; ++k) byte((v >> (8 * k)) & 0xFF);
  }
  void bytes(const unsigned char* from, size_t count) { out.insert(out.end(), from, from + count); }
};

// Cuts a run of length into pieces of minLength to maxLength each, longest
// first, and hands each to emit. Needs length >= minLength and
// maxLength >= 2 * minLength, which every coding here has.
template <typename Emit>
void cutRun(size_t length, size_t minLength, size_t maxLength, Emit emit) {
  while (length > 0) {
    size_t piece = length;
    if (length > maxLength) piece = (length - maxLength >= minLength) ? maxLength : length - minLength;
    emit(piece);
    length -= piece;
  }
}

// Calls run(start, length) for each maximal run of equal pixels of pixelBytes
// bytes each over count pixels.
template <typename Run>
void forEachRun(const unsigned char* pixels, size_t count, size_t pixelBytes, Run run) {
  size_t start = 0;
  while (start < count) {
    size_t end = start + 1;
    while (end < count &&
           std::memcmp(pixels + end * pixelBytes, pixels + start * pixelBytes, pixelBytes) == 0)
      ++end;
    run(start, end - start);
    start = end;
  }
}

bool accepted(int format, int compression) {
  static const int kMaxCompression[6] = {1, 1, 4, 1, 1, 2};
  return format >= 0 && format <= 5 && compression >= 0 && compression <= kMaxCompression[format];
}

bool imageFitsFormat(const Image& image, int format) {
  if (!image.pixels || image.width < 0 || image.height < 0) return false;
  switch (format) {
    case 0: return image.bitsPerPixel == 1 && image.palette;
    case 1: return image.bitsPerPixel == 1 && !image.palette;
    case 2: return image.bitsPerPixel == 8 && image.palette;
    case 3: return image.bitsPerPixel == 8 && !image.palette;
    case 4: return image.bitsPerPixel == 24;
    case 5: return image.bitsPerPixel == 32;
  }
  return false;
}

void writeMonoRuns(const Image& image, Writer& w) {
  size_t row = image.rowBytes();
  size_t total = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  auto bitAt = [&](size_t p) {
    size_t x = p % static_cast<size_t>(image.width), y = p / static_cast<size_t>(image.width);
    return static_cast<unsigned>(image.pixels[y * row + x / 8] >> (7 - x % 8)) & 1u;
  };
  size_t p = 0;
  while (p < total) {
    unsigned value = bitAt(p);
    size_t length = 1;
    while (p + length < total && length < 128 && bitAt(p + length) == value) ++length;
    w.byte(static_cast<unsigned>((length - 1) << 1) | value);
    p += length;
  }
}

// The 8-bit streams. Returns false when a value cannot be stored.
bool writeIndexStream(const Image& image, int compression, Writer& w) {
  size_t total = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  bool ok = true;
  forEachRun(image.pixels, total, 1, [&](size_t start, size_t length) {
    unsigned v = image.pixels[start];
    if (compression == 1) {
      cutRun(length, 1, 256, [&](size_t n) { w.byte(static_cast<unsigned>(n - 1)); w.byte(v); });
      return;
    }
    // Literal limit and shortest run of codes 2, 3 and 4.
    unsigned literalBelow = compression == 2 ? 0xFF : compression == 3 ? 0x80 : 0xFE;
    size_t minRun = compression == 3 ? 3 : 4;
    size_t maxRun = compression == 2 ? 259 : compression == 3 ? 130 : 65795;
    if (length < minRun) {
      if (v >= literalBelow) {
        ok = false;
        return;
      }
      for (size_t i = 0; i < length; ++i) w.byte(v);
      return;
    }
    cutRun(length, minRun, maxRun, [&](size_t n) {
      if (compression == 3) {
        w.byte(static_cast<unsigned>(n + 125));
      } else if (n >= 260) {
        w.byte(0xFE);
        w.u16(static_cast<unsigned>(n - 260));
      } else {
        w.byte(0xFF);
        w.byte(static_cast<unsigned>(n - 4));
      }
      w.byte(v);
    });
  });
  return ok;
}

void writeRecords(const Image& image, size_t pixelBytes, Writer& w) {
  size_t total = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  forEachRun(image.pixels, total, pixelBytes, [&](size_t start, size_t length) {
    cutRun(length, 1, 256, [&](size_t n) {
      w.byte(static_cast<unsigned>(n - 1));
      w.bytes(image.pixels + start * pixelBytes, pixelBytes);
    });
  });
}

void writeUnits32(const Image& image, Writer& w) {
  size_t total = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  forEachRun(image.pixels, total, 4, [&](size_t start, size_t length) {
    const unsigned char* px = image.pixels + start * 4;
    if (length == 1) {
      if (px[0] != 0xFF) {
        w.bytes(px, 4);
      } else {
        // A lone fully transparent pixel: only red 0 has a literal unit. Its
        // colour weighs nothing in any drawing, so red 0 it is.
        w.byte(0xFF);
        w.byte(0);
        w.byte(px[2]);
        w.byte(px[3]);
      }
      return;
    }
    cutRun(length, 2, 65791, [&](size_t n) {
      w.byte(0xFF);
      if (n >= 256) {
        w.byte(1);
        w.u16(static_cast<unsigned>(n - 256));
        w.bytes(px, 4);
      } else {
        w.byte(static_cast<unsigned>(n));
        w.bytes(px, 4);
      }
    });
  });
}

// The palette block of format 2 with compression 1 to 4: trailing all-zero
// entries are left out (the decoder zero-fills them), at least one is kept.
void writeCountedPalette(const Image& image, Writer& w) {
  unsigned count = 256;
  static const unsigned char kZero[4] = {0, 0, 0, 0};
  while (count > 1 && std::memcmp(image.palette + 4 * (count - 1), kZero, 4) == 0) --count;
  w.u16(count);
  w.bytes(image.palette, 4 * count);
}

}  // namespace

std::vector<unsigned char> encodeMbm(const Image& image, int format, int compression, int* status) {
  std::vector<unsigned char> out;
  int result = MbmEncoded;
  if (!accepted(format, compression)) {
    result = MbmBadCodes;
  } else if (!imageFitsFormat(image, format)) {
    result = MbmWrongImage;
  } else {
    Writer w{out};
    w.byte('M');
    w.byte('B');
    w.i32(image.width);
    w.i32(image.height);
    w.byte(static_cast<unsigned>(format));
    w.byte(static_cast<unsigned>(compression));
    if (format <= 1) {
      if (format == 0) w.bytes(image.palette, 8);
      if (compression == 0) w.bytes(image.pixels, image.pixelBytes());
      else writeMonoRuns(image, w);
    } else if (format <= 3) {
      if (compression == 0) {
        if (format == 2) w.bytes(image.palette, 1024);
        w.bytes(image.pixels, image.pixelBytes());
      } else {
        if (format == 2) writeCountedPalette(image, w);
        if (!writeIndexStream(image, compression, w)) result = MbmUnrepresentable;
      }
    } else {
      size_t pixelBytes = format == 4 ? 3 : 4;
      if (compression == 0) w.bytes(image.pixels, image.pixelBytes());
      else if (compression == 1) writeRecords(image, pixelBytes, w);
      else writeUnits32(image, w);
    }
  }
  if (result != MbmEncoded) out.clear();
  if (status) *status = result;
  return out;
}
