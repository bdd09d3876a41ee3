// The two bitmap makers: a packed DIB (dib.cpp) handed to GDI. Windows only.
//
// Every temporary object (the packed block, the screen DC, the palette and
// its selection) sits in a scope type, so each way out of a maker releases
// exactly what was taken.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "alloc.h"
#include "image.h"

namespace {

struct PackedDib {
  unsigned char* block;
  explicit PackedDib(unsigned char* b) : block(b) {}
  ~PackedDib() { imageFree(block); }
  PackedDib(const PackedDib&) = delete;
  PackedDib& operator=(const PackedDib&) = delete;
};

struct ScreenDc {
  HDC dc = GetDC(nullptr);
  ~ScreenDc() {
    if (dc) ReleaseDC(nullptr, dc);
  }
  ScreenDc() = default;
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
};

// A palette built from the DIB's colour table and realized into the screen DC
// for the lifetime of the scope; the previous palette is selected back and the
// palette object deleted on the way out.
struct RealizedPalette {
  HDC dc = nullptr;
  HPALETTE palette = nullptr;
  HPALETTE previous = nullptr;

  RealizedPalette(HDC target, const BITMAPINFO* info) {
    const BITMAPINFOHEADER& header = info->bmiHeader;
    DWORD colours = header.biClrUsed;
    if (colours == 0) {
      if (header.biBitCount == 1) colours = 2;
      else if (header.biBitCount == 4) colours = 16;
      else if (header.biBitCount == 8) colours = 256;
    }
    if (colours == 0 || !target) return;
    size_t bytes = sizeof(LOGPALETTE) + colours * sizeof(PALETTEENTRY);
    LOGPALETTE* logical = static_cast<LOGPALETTE*>(std::malloc(bytes));
    if (!logical) return;  // no palette: the bitmap is still made, unrealized
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(colours);
    for (DWORD i = 0; i < colours; ++i) {
      logical->palPalEntry[i].peRed = info->bmiColors[i].rgbRed;
      logical->palPalEntry[i].peGreen = info->bmiColors[i].rgbGreen;
      logical->palPalEntry[i].peBlue = info->bmiColors[i].rgbBlue;
      logical->palPalEntry[i].peFlags = 0;
    }
    palette = CreatePalette(logical);
    std::free(logical);
    if (!palette) return;
    dc = target;
    previous = SelectPalette(dc, palette, FALSE);
    RealizePalette(dc);
  }
  ~RealizedPalette() {
    if (dc && previous) SelectPalette(dc, previous, FALSE);
    if (palette) DeleteObject(palette);
  }
  RealizedPalette(const RealizedPalette&) = delete;
  RealizedPalette& operator=(const RealizedPalette&) = delete;
};

size_t colourTableBytes(int bitsPerPixel) { return bitsPerPixel <= 8 ? (size_t(4) << bitsPerPixel) : 0; }

}  // namespace

HBITMAP Image::createBitmap(uint32_t colorRef, bool premultiply) const {
  PackedDib packed(packDib(colorRef, premultiply));
  if (!packed.block) return nullptr;
  const BITMAPINFO* info = reinterpret_cast<const BITMAPINFO*>(packed.block);
  const unsigned char* bits = packed.block + 40 + colourTableBytes(bitsPerPixel);
  ScreenDc screen;
  if (!screen.dc) return nullptr;
  RealizedPalette realized(screen.dc, info);
  return CreateDIBitmap(screen.dc, &info->bmiHeader, CBM_INIT, bits, info, DIB_RGB_COLORS);
}

HBITMAP Image::createDibSection(uint32_t colorRef, bool premultiply) const {
  PackedDib packed(packDib(colorRef, premultiply));
  if (!packed.block) return nullptr;
  const BITMAPINFO* info = reinterpret_cast<const BITMAPINFO*>(packed.block);
  size_t tableBytes = colourTableBytes(bitsPerPixel);
  ScreenDc screen;
  if (!screen.dc) return nullptr;
  RealizedPalette realized(screen.dc, info);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen.dc, info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap && bits)
    std::memcpy(bits, packed.block + 40 + tableBytes, packedDibSize() - 40 - tableBytes);
  return bitmap;
}
