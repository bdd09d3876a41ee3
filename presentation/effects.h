// The platform effects the timeline asks for.
//
// Declared once here and defined once per build: with the real Win32 calls by
// the window module, and by a recording double in the unit tests, so that the
// timeline itself stays portable and can be driven tick by tick on Linux.
#ifndef KOR_PRESENTATION_EFFECTS_H
#define KOR_PRESENTATION_EFFECTS_H

// Repaint the whole client area; erase it first only when asked. The timeline
// repaints its frames without erasing, so that consecutive frames don't flicker.
void requestRepaint(bool erase);

// Move the real mouse pointer to the bottom-right corner of the primary screen,
// out of the way of the simulated one.
void parkRealPointer();

// Start the WAVE resource clipId playing without waiting; nothing plays when
// the clip is missing or another clip is still sounding.
void playClip(int clipId);

// Ask whether to replay the presentation in slow motion; true for Yes. The
// question is modal and the window's timer keeps ticking while it is open, so
// this may call back into the timeline before it returns.
bool askReplayInSlowMotion();

#endif
