// Process-wide state of the presentation player.
//
// Everything here is used by the one thread that runs the message loop; nothing
// is locked. The pictures are constructed empty before the program's entry point
// runs and freed at process exit: the player owns them for the whole run.
#ifndef KOR_PRESENTATION_PLAYER_H
#define KOR_PRESENTATION_PLAYER_H

#include <cstdint>

#include "image/image.h"

// Colour handed to the bitmap makers (a COLORREF: red in the low byte): shows
// behind still-transparent pixels and is the fallback background fill.
constexpr std::uint32_t backdropColour = 0x007FFF7F;

// Pixel-order colours (red in bits 8-15) on which the spinner is flattened:
// the simulated menu's pale background and its blue highlight.
constexpr std::uint32_t paleBackdrop = 0xFCF8F400;
constexpr std::uint32_t blueBackdrop = 0xDE773200;

// First picture of every run, and the nine layers laid over it one by one.
extern Image basePicture;
constexpr int firstLayerId = 102;
constexpr int lastLayerId = 110;
extern Image layerPictures[lastLayerId - firstLayerId + 1];
Image &layerPicture(int id);

extern Image pointerSprite; // 18 x 24, drawn with its top-left at the pointer
extern Image spinnerStrip;  // thirty square 8-bit frames stacked top to bottom

// The base picture with the layers laid so far in this run; never drawn on.
extern Image scenePicture;
// What the window shows: the scene plus pointer and spinner of the current step.
extern Image framePicture;

// Step counter of the timeline and its time-stretch factor (1 normal, 2 slow).
extern std::int32_t tick;
extern std::int32_t slowFactor;

// The twelve pictures loaded from "MBM" resources when the window is created,
// in loading order.
struct PictureSource {
  int resourceId;
  Image *picture;
};
constexpr int pictureSourceCount = 12;
extern const PictureSource pictureSources[pictureSourceCount];

#endif
