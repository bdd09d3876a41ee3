// The test's own composition of the presentation's frames, written straight
// from the rules of the story (pixel rule, layering, spinner flattening) and
// sharing no code with the player or the image library's compositing, so that
// a frame the timeline builds can be compared with one built independently.
#ifndef KOR_TESTS_PRESENTATION_LITERAL_FRAMES_H
#define KOR_TESTS_PRESENTATION_LITERAL_FRAMES_H

#include <cstdint>
#include <string>
#include <vector>

#include "image/image.h"

// A 32-bit picture, T R G B per pixel, rows top-down; empty when width is 0.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
};

// A 24- or 32-bit Image as a Picture (24-bit reads as opaque); an empty
// Picture for anything else.
Picture pictureOf(const Image &image);

// Paints source with its top-left at (x, y), clipped, keeping the target's
// transparency bytes: transparent source pixels leave the target alone, opaque
// ones replace its colour, partly transparent ones blend with rounding (and
// leave a fully transparent target pixel alone).
void paintAt(Picture &target, const Picture &source, int x, int y);

// A full-size layer laid over the scene: a layer without any transparency
// replaces the scene outright; one of another size changes nothing.
void layOver(Picture &scene, const Picture &layer);

// Frame k of the spinner strip, looked up in its palette and flattened on the
// pixel-order colour: an opaque w x w square. Empty when the strip is unusable.
Picture spinnerSquare(const Image &strip, int k, std::uint32_t colour);

// Empty string when image holds exactly picture (both empty counts), else a
// description of the first difference.
std::string compareFrame(const Image &image, const Picture &picture);

#endif
