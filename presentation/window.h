// The player's window on Windows: its state, its procedure and the background
// brush. Windows only; the portable player state is in player.h.
#ifndef KOR_PRESENTATION_WINDOW_H
#define KOR_PRESENTATION_WINDOW_H

#include <windows.h>

extern HINSTANCE instanceHandle; // GetModuleHandleA(NULL), set first in WinMain
extern HWND mainWindow;
extern UINT_PTR timerId;          // 0 when no timer runs
extern HBRUSH backgroundBrush;    // null when it could not be made

LRESULT CALLBACK playerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Builds backgroundBrush: MBM 121 stretched to the full-screen client size as a
// pattern brush. Returns it, or null (and nothing is reported) on failure.
HBRUSH createBackgroundBrush();

#endif
