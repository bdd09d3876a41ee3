// Interface text rendered with FreeType from the DejaVu Sans faces that
// Debian installs. Glyphs are anti-aliased straight onto the canvas, that is
// against whatever is drawn there already, so packed pictures need no
// partly transparent pixels for their text.
#pragma once

#include "canvas.h"

#include <string>

enum class Face { Regular, Bold };

// Loads the faces; false (with a message on stderr) when a font is missing.
bool openFonts();
void closeFonts();

// Width in pixels of `text` (UTF-8) at `pixelSize`.
int textWidth(Face face, int pixelSize, const std::string& text);
// Draws `text` with its baseline at row `baseline`, starting at column `x`;
// returns the column after the last glyph.
int drawText(Canvas& c, Face face, int pixelSize, int x, int baseline, const std::string& text, Rgb colour);
// Draws `text` with an underline under the glyph that follows '&', as menu
// bars and buttons show their access keys.
int drawMnemonicText(Canvas& c, Face face, int pixelSize, int x, int baseline, const std::string& text, Rgb colour);
