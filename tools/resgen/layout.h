// Geometry of the simulated desktop, in pixels of the 798 x 600 scene.
// The player's script points at some of these places (the pointer's stops,
// the spinner, the close box), so they are fixed here once and the drawing
// code and the checks both read them.
#pragma once

#include "canvas.h"

namespace layout {

constexpr int sceneWidth = 798;
constexpr int sceneHeight = 600;

// Title bar and its close button (the player's close box).
constexpr int titleBottom = 21;
constexpr int closeLeft = 748, closeRight = 788, closeTop = 1, closeBottom = 17;

// Details list: its rows and the first document's name cell.
constexpr int listLeft = 210;
constexpr int listHeaderBottom = 130;
constexpr int rowTop = 132, rowHeight = 17;
constexpr int nameIconX = 221, nameTextX = 240;
constexpr int selectionLeft = 219;

// Context menu opened at the pointer, and its erase entry.
constexpr int menuLeft = 303, menuTop = 138;
constexpr int menuItemLeft = 305, menuItemRight = 428;
constexpr int eraseItemTop = 398, eraseItemBottom = 415;
constexpr int spinnerX = 305, spinnerY = 398, spinnerSize = 15;

// Confirmation box and its buttons.
constexpr int confirmLeft = 222, confirmTop = 246, confirmRight = 575, confirmBottom = 375;
constexpr int yesLeft = 320, yesRight = 394, noLeft = 402, noRight = 476;
constexpr int buttonTop = 340, buttonBottom = 362;

// Progress window of the erase tool.
constexpr int progressLeft = 206, progressTop = 208, progressRight = 562, progressBottom = 387;

// Where the player's pointer stops.
constexpr int pointerRestX = 386, pointerRestY = 278;     // empty part of the list
constexpr int pointerDocX = 303, pointerDocY = 138;       // first document's name
constexpr int pointerEraseX = 366, pointerEraseY = 405;   // erase entry
constexpr int pointerYesX = 343, pointerYesY = 351;       // Yes

// Colours the player flattens the spinner on.
constexpr Rgb menuColour{244, 248, 252};
constexpr Rgb highlightColour{50, 119, 222};

} // namespace layout
