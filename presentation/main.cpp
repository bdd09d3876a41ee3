// Entry point of the presentation player: one window, one message loop.
#include <windows.h>

#include "presentation/res/resource_ids.h"
#include "presentation/window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  instanceHandle = GetModuleHandleA(NULL);

  WNDCLASSA windowClass;
  ZeroMemory(&windowClass, sizeof windowClass);
  // No CS_HREDRAW or CS_VREDRAW and no class brush: WM_SIZE and WM_ERASEBKGND
  // decide what gets repainted and with what.
  windowClass.style = CS_BYTEALIGNCLIENT;
  windowClass.lpfnWndProc = playerWindowProc;
  windowClass.hInstance = instanceHandle;
  windowClass.hCursor = LoadCursorA(instanceHandle, MAKEINTRESOURCEA(RES_CURSOR_ARROW));
  windowClass.hIcon = LoadIconA(instanceHandle, MAKEINTRESOURCEA(RES_ICON_APP));
  windowClass.lpszClassName = "Presentation";
  if (!RegisterClassA(&windowClass))
    return 0;

  mainWindow = CreateWindowExA(0, "Presentation", "Korvanel Ostrel Presentation",
                               WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, instanceHandle, NULL);
  // Without a window no WM_QUIT would ever come: the loop below would wait forever.
  if (!mainWindow)
    return 0;
  ShowWindow(mainWindow, SW_SHOWMAXIMIZED);
  UpdateWindow(mainWindow);

  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}
