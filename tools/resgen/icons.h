// Small pictograms of the simulated desktop, drawn with their top-left
// corner at (x, y). Sizes are those of a desktop at normal density: 16 x 16
// in lists, trees and menus, 24 x 24 on the toolbar, 32 x 32 in dialogs.
#pragma once

#include "canvas.h"

void drawFolderIcon(Canvas& c, int x, int y, bool open);
void drawDocumentIcon(Canvas& c, int x, int y);     // word-processor document
void drawTextFileIcon(Canvas& c, int x, int y);     // plain text file
void drawComputerIcon(Canvas& c, int x, int y);
void drawDriveIcon(Canvas& c, int x, int y);
void drawNetworkIcon(Canvas& c, int x, int y);
void drawBinIcon(Canvas& c, int x, int y);
void drawDesktopIcon(Canvas& c, int x, int y);
void drawEraseToolIcon(Canvas& c, int x, int y);    // the erase tool's own 16 x 16 icon

void drawNavArrow(Canvas& c, int x, int y, bool forward, bool enabled); // 24 x 24 round button
void drawUpFolderIcon(Canvas& c, int x, int y);     // 24 x 24
void drawSearchIcon(Canvas& c, int x, int y);       // 24 x 24
void drawFoldersIcon(Canvas& c, int x, int y);      // 24 x 24
void drawViewsIcon(Canvas& c, int x, int y);        // 24 x 24

void drawQuestionIcon(Canvas& c, int x, int y);     // 32 x 32, warning triangle
void drawShredIcon(Canvas& c, int x, int y);        // 32 x 32, document falling into strips

// Tree expander: a small triangle pointing right (collapsed) or down-right.
void drawExpander(Canvas& c, int x, int y, bool expanded);
// A small right-pointing arrow, as menus mark their submenus.
void drawSubmenuArrow(Canvas& c, int x, int y, Rgb colour);
