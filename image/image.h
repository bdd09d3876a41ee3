// The raster image library of the presentation player.
//
// Include it as "image/image.h": the kor_image target puts the source root on
// its users' include path.
//
// Image is the one raster record of the player. Every decoded picture, scene,
// sprite and frame is one.
//
//   width, height   pixels per row and rows, never negative.
//   bitsPerPixel    1, 8, 24 or 32; 0 when the Image is empty.
//   palette         1- and 8-bit only: 1 << bitsPerPixel entries of 4 bytes
//                   (8 or 1024 bytes), or null. A 1- or 8-bit Image without
//                   palette is an intensity picture of a colour supplied when
//                   it is converted or drawn: 0 is the inverse of that colour,
//                   the top value (1 or 255) the colour, 8-bit values between
//                   a linear ramp (ensurePalette).
//   pixels          rows top-down, each row left to right, packed without
//                   padding except that a 1-bit row is padded to a whole byte:
//                     1 bit   (width + 7) / 8 bytes a row, the leftmost pixel
//                             in the most significant bit, a set bit is index 1
//                     8 bit   one byte: palette index, or intensity
//                     24 bit  R, G, B
//                     32 bit  T, R, G, B
//                   null in an empty Image; an Image without pixels holds
//                   nothing and every drawing operation treats it so.
//
// Palette entries have the 32-bit pixel layout T, R, G, B. T is a
// transparency, not an opacity: 0 is fully opaque, 255 fully transparent.
//
// Colours come in two encodings:
//   pixel-order colour  a 32-bit pixel read as a little-endian word: bits 8-15
//                       R, 16-23 G, 24-31 B, bits 0-7 ignored (0xFCF8F400 is
//                       R 0xF4, G 0xF8, B 0xFC). Used by the conversions.
//   COLORREF            bits 0-7 R, 8-15 G, 16-23 B. Used by the DIB packing
//                       and the bitmap makers.
//
// Ownership: an Image owns both buffers alone. They come from std::malloc and
// are freed with std::free, so code that builds an Image by hand (cutting one
// frame out of a strip, say) allocates them with std::malloc or, simpler, with
// Image::allocate. Copies are always deep. The destructor releases the buffers.
//
// Failures are small integer results, spelled out at each operation; no
// operation throws, and none reports anything to the user.
#pragma once

#include <cstddef>
#include <cstdint>

// The Windows bitmap handle, declared the way <windows.h> declares it so that
// this header stays portable; only the Windows builds define the two makers.
struct HBITMAP__;
typedef HBITMAP__* HBITMAP;

struct MbmReader;

struct Image {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerPixel = 0;
  unsigned char* palette = nullptr;
  unsigned char* pixels = nullptr;

  Image() = default;
  Image(const Image& source);             // deep copy, as assign
  Image& operator=(const Image& source);  // assign
  Image(Image&& source) noexcept;         // takes the buffers, source ends empty
  Image& operator=(Image&& source) noexcept;
  ~Image();                               // release

  // --- Record and conversions (image.cpp, convert.cpp) ---

  // Frees palette and pixels. The pointers are set to null as well, so that a
  // released Image can be destroyed or released again without a double free;
  // width, height and depth are left as they are.
  void release();

  // Back to empty: all five fields zero or null.
  void clear();

  // Deep copy of source (nothing when source is this Image). An Image of the
  // same shape reuses its buffers; an empty source empties the target. When a
  // new buffer cannot be had the target is left as it was.
  Image& assign(const Image& source);

  // Gives a 1- or 8-bit Image without palette the default palette of the
  // pixel-order colour: 1-bit (inverse, colour), 8-bit the 256-step ramp
  // ((255 - X) * (255 - i) + X * i) / 255. Nothing otherwise, and nothing
  // when the palette cannot be allocated.
  void ensurePalette(uint32_t colour);

  // 1-bit to 8-bit (a palette of 2 grows to 256 entries, the rest zero; no
  // palette stays no palette, pixels 0 or 255). Nothing on another format or
  // when a buffer cannot be had.
  void expandMonoTo8();

  // 8-bit to 32-bit through the palette (ensurePalette(colour) first). Nothing
  // on another format; when the pixel buffer cannot be had the Image stays
  // 8-bit, with the palette that ensurePalette may have added.
  void expandPaletteTo32(uint32_t colour);

  // 24-bit to 32-bit, opaque. Nothing on another format or without memory.
  void expandRgbTo32();

  // 32-bit to 24-bit, transparency dropped.
  // 0 done, 1 not a 32-bit Image, 2 out of memory (nothing changed).
  int stripTransparency();

  // 32-bit to 24-bit as the picture looks over a solid pixel-order colour:
  // X' = (T * Xc + X * (255 - T)) / 255, rounding down.
  // 0 done, 1 not a 32-bit Image, 2 out of memory (nothing changed).
  int flattenOnColour(uint32_t colour);

  // Whether the Image can show anything but fully opaque pixels: 1- and 8-bit
  // without palette always; with palette when an entry (used or not) has a
  // non-zero T; 32-bit when a pixel has; 24-bit and empty never.
  bool hasTransparency() const;

  // Makes this Image a zero-filled picture of the given shape (a zero palette
  // when withPalette and the depth is 1 or 8). 0 done; 1 invalid shape (a
  // negative size or a depth other than 1, 8, 24, 32), nothing changed; 2 out
  // of memory, nothing changed. A picture of zero area still gets a (1-byte)
  // pixel buffer so that it is not mistaken for an empty Image.
  int allocate(int32_t width, int32_t height, int32_t bitsPerPixel, bool withPalette);

  // Bytes of one pixel row and of the whole pixel buffer for the current
  // shape (0 for an unknown depth), and of the palette (8, 1024 or 0).
  size_t rowBytes() const;
  size_t pixelBytes() const;
  size_t paletteBytes() const;

  // --- MBM decoder (mbm_load.cpp, mbm_unpack.cpp) ---

  // Decodes the MBM picture in data[0, size) into this Image. No byte outside
  // that range is read, whatever the data says. Results:
  //   -1  no data (null pointer)                         Image unchanged
  //    0  decoded                                        the picture
  //    1  the magic bytes are not 'M' 'B' (or fewer than
  //       two bytes are given)                           Image unchanged
  //    2  width or height negative                       empty
  //    3  format code above 5                            empty
  //    4  compression not accepted for the format        empty
  //    5  a buffer could not be allocated (also a
  //       picture too large to address)                  empty
  //    6  corrupt: a run past the last pixel, a palette
  //       count of 0 or above 256, or data that ends
  //       before the header, palette or pixels do        empty
  // Bytes after the last pixel are ignored.
  int loadMbm(const unsigned char* data, size_t size);

  // The four decoders, called by loadMbm with width, height and bitsPerPixel
  // set and the reader at the payload. Each allocates palette and pixels
  // itself and returns 0, 4, 5 or 6 as above (leaving cleanup to loadMbm).
  int unpackMbm1(MbmReader& in, int format, int compression);
  int unpackMbm8(MbmReader& in, int format, int compression);
  int unpackMbm24(MbmReader& in, int compression);
  int unpackMbm32(MbmReader& in, int compression);

  // --- Compositing (composite.cpp) ---
  //
  // Both widen this Image, then the source, to 32 bits in place (1- and 8-bit
  // through expandPaletteTo32 with colour 0: no palette reads as a grey ramp
  // from white to black), then paint source over target pixel by pixel.
  // mergeTransparency false keeps the target's T bytes; true adds opacities.

  // Paints a source of the same size over the whole Image. A source without
  // transparency is simply copied (assign), format and palette included.
  // 0 done; 1 refused (this Image empty, sizes differ), neither Image
  // changed; 2 refused because a conversion ran out of memory: no pixel is
  // painted, though an operand already widened stays widened (same picture).
  int overlay(Image& source, bool mergeTransparency);

  // Paints source with its top-left pixel at (x, y), clipped on all four
  // sides. 0 done; 1 refused (x >= width, y >= height, this Image or the
  // source empty), neither Image changed; 2 refused because a conversion ran
  // out of memory, as for overlay.
  int drawAt(Image& source, int32_t x, int32_t y, bool mergeTransparency);

  // --- Resampler (resample.cpp) ---

  // Scales the Image in place to newWidth x newHeight (both at least 1).
  // 0 done: 32-bit if any pixel is not fully opaque, else 24-bit, no palette.
  // 1 refused: a new size below 1, or this Image empty or of zero area;
  //   nothing changed.
  // 2 out of memory: either the Image has been widened to 32 bits and is
  //   otherwise unchanged, or (when the final store could not be had) it is
  //   empty, all five fields zero or null.
  int resample(int32_t newWidth, int32_t newHeight);

  // Writes the pixel at (x, y), both clamped into the picture, as 4 bytes
  // T, R, G, B: 32-bit as stored; 24-bit opaque; 8-bit its palette entry, or
  // opaque 255 - value without palette; 1-bit palette entry 0 or 1, or opaque
  // white (clear) / black (set) without palette. An Image without pixels or
  // of another depth gives four zero bytes.
  void pixelAt(int32_t x, int32_t y, unsigned char* out) const;

  // --- Windows DIB (dib.cpp portable, gdi.cpp Windows only) ---
  // colorRef is a COLORREF. premultiply matters for 32-bit Images only.

  // Byte size of the packed DIB: 40 + colour table (8 for 1-bit, 1024 for
  // 8-bit) + stride * height, stride the row bytes rounded up to 4.
  size_t packedDibSize() const;

  // One std::malloc block: BITMAPINFOHEADER (bottom-up), RGBQUAD colour
  // table, rows last row first, B G R alpha. Palettes are flattened over the
  // colour; 32-bit pixels are premultiplied (alpha = 255 - T) or flattened.
  // Null for an Image without pixels or of another depth, or without memory.
  // The caller frees it with std::free.
  unsigned char* packDib(uint32_t colorRef, bool premultiply) const;

  // Device-dependent bitmap (CreateDIBitmap on the screen's DC) and DIB
  // section of the packed DIB; owned by the caller (DeleteObject), or null.
  // Windows builds only.
  HBITMAP createBitmap(uint32_t colorRef, bool premultiply) const;
  HBITMAP createDibSection(uint32_t colorRef, bool premultiply) const;
};

// --- Resampler helpers (resample_math.cpp) ---

// Opacity-weighted mean of count (at least 1) 32-bit pixels, written to out.
// All fully transparent gives colour bytes 0.
void averagePixels(const unsigned char* pixels, size_t count, unsigned char* out);

// Coefficients of the polynomial through distinct integer points.
void fitLine(int x0, int y0, int x1, int y1, double* slope, double* intercept);
void fitQuadratic(int x0, int y0, int x1, int y1, int x2, int y2,
                  double* a, double* b, double* c);
// For the abscissae -1, 0, 1, 2 each cubic coefficient is the double nearest
// to its exact value.
void fitCubic(int x0, int y0, int x1, int y1, int x2, int y2, int x3, int y3,
              double* a, double* b, double* c, double* d);
// Six times the cubic through (-1, y0), (0, y1), (1, y2), (2, y3): integer
// coefficients, exact in double. For |y| <= 65025 and a fraction f of up to
// 11 binary digits (a half, a quarter, ... 1/2048) ((a6 f + b6) f + c6) f + d6
// is exact, so one division by 6 (or by 6 x opacity) rounds to nearest the
// exact value, as no evaluation of the thirds in fitCubic's coefficients can.
void fitCubicSixfold(int y0, int y1, int y2, int y3, double* a6, double* b6, double* c6, double* d6);

// Reverses the 4 bytes of each of count entries in place (T R G B to B G R T).
void reverseQuadBytes(unsigned char* entries, size_t count);
