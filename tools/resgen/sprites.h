// The small pictures: pointer sprite, spinner strip, background colours,
// and the window icon's artwork.
#pragma once

#include "canvas.h"
#include "image/image.h"

// 18 x 24, 32 bits: arrow with its tip at (0, 0) and a soft shadow.
Image makePointer();
// 15 x 450, 8 bits with a 256-entry palette: thirty 15 x 15 frames of four
// red dots, 3 degrees apart, so that frame 30 would be frame 0 again.
Image makeSpinner();
// 4 x 3, 24 bits: the twelve colours the window stretches into its background.
Image makeBackground();
// 16 x 16 with opacity: the window icon.
Canvas makeIconArt();

// The arrow's shape, shared with the cursor: 'B' outline, 'W' body.
extern const char* const arrowShape[19];
