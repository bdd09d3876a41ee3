// The timed script of the presentation.
//
// The window calls onTimelineTick for every timer message (every 50 ms). The
// timeline composes framePicture from the player's pictures and asks for
// repaints, sounds and the end question through the effects of effects.h; it
// draws nothing on the screen itself.
#ifndef KOR_PRESENTATION_TIMELINE_H
#define KOR_PRESENTATION_TIMELINE_H

#include "image/image.h"

// One step of the script for the current tick, then the tick counter advances.
void onTimelineTick();

// Start the script again from tick 0 at the given speed (1 normal, 2 slow):
// the frame goes empty at once and the whole window is repainted with erasing.
// The scene is left as it is; the next run replaces it at its first picture.
void restartTimeline(int factor);

// A left click at client point (x, y) in a client area of clientWidth x
// clientHeight: once the result has been shown (tick past 125 x slowFactor), a
// click on the simulated window's close box hides the picture.
void onCloseBoxClick(int clientWidth, int clientHeight, int x, int y);

// Cuts frame k of spinnerStrip into frame (8 bits with the strip's palette).
// False, and frame left empty, when the strip is not a usable strip of thirty
// square 8-bit frames with a 256-entry palette.
bool cutSpinnerFrame(const Image &strip, int k, Image &frame);

#endif
