// Output of the artwork tools: MBM resources through the project's encoder,
// PNG previews through libpng.
#pragma once

#include "canvas.h"
#include "image/image.h"

#include <string>
#include <vector>

// 32-bit Image of the canvas, T = 255 - alpha.
Image toImage(const Canvas& c);
// Writes bytes to a file; false with a message on failure.
bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes);
// Encodes the Image in the given MBM format and compression and writes it.
bool writeMbm(const std::string& path, const Image& image, int format, int compression);
// Writes an Image of 24 or 32 bits as an RGBA PNG (opacity 255 - T).
bool writePng(const std::string& path, const Image& image);
