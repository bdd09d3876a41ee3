// The simulated desktop in each state of the story. Every state is drawn in
// full and fully opaque; the layers the player lays one after another are
// the differences between consecutive states.
#pragma once

#include "canvas.h"

struct BrowserState {
    bool active = true;          // window has the focus (title bar, selection colour)
    bool firstSelected = false;  // first document selected
    bool firstGone = false;      // first document erased from the folder
};

void drawBrowser(Canvas& c, const BrowserState& state);
void drawContextMenu(Canvas& c, bool eraseHighlighted);
void drawConfirmBox(Canvas& c);
void drawProgressWindow(Canvas& c);

// Title bar of a window from x0 to x1 (inclusive), rows y0 to y0 + height - 1.
void drawTitleBar(Canvas& c, int x0, int x1, int y0, int height, bool active, bool bigButtons, const char* title);
// A push button; `isDefault` gives it the focus ring of the default button.
void drawButton(Canvas& c, int x0, int y0, int x1, int y1, const char* label, bool isDefault);

extern const char* const firstDocumentName;
extern const char* const firstDocumentPath;
