// The player's window: its messages, painting, the context menu, the loading of
// the pictures, and the platform effects the timeline asks for.
#include "presentation/window.h"

#include <commctrl.h>
#include <mmsystem.h>

#include "image/image.h"
#include "presentation/effects.h"
#include "presentation/layout.h"
#include "presentation/player.h"
#include "presentation/res/resource_ids.h"
#include "presentation/timeline.h"

HINSTANCE instanceHandle = NULL;
HWND mainWindow = NULL;
UINT_PTR timerId = 0;
HBRUSH backgroundBrush = NULL;

namespace {

constexpr UINT_PTR timelineTimer = 4001;
constexpr UINT timelinePeriodMs = 50;

// Scope types: each releases its handle on every way out, and none can be
// copied, so nothing is released twice.
struct GdiObject {
  HGDIOBJ handle;
  explicit GdiObject(HGDIOBJ h) : handle(h) {}
  ~GdiObject() {
    if (handle)
      DeleteObject(handle);
  }
  GdiObject(const GdiObject &) = delete;
  GdiObject &operator=(const GdiObject &) = delete;
};

struct MemoryDc {
  HDC dc;
  explicit MemoryDc(HDC compatibleWith) : dc(CreateCompatibleDC(compatibleWith)) {}
  ~MemoryDc() {
    if (dc)
      DeleteDC(dc);
  }
  MemoryDc(const MemoryDc &) = delete;
  MemoryDc &operator=(const MemoryDc &) = delete;
};

// Selects an object into a device context and selects the previous one back.
struct SelectedObject {
  HDC dc;
  HGDIOBJ previous;
  SelectedObject(HDC d, HGDIOBJ object) : dc(d), previous(SelectObject(d, object)) {}
  ~SelectedObject() {
    if (previous && previous != HGDI_ERROR)
      SelectObject(dc, previous);
  }
  SelectedObject(const SelectedObject &) = delete;
  SelectedObject &operator=(const SelectedObject &) = delete;
};

struct LoadedMenu {
  HMENU handle;
  explicit LoadedMenu(HMENU h) : handle(h) {}
  ~LoadedMenu() {
    if (handle)
      DestroyMenu(handle); // destroys its pop-ups with it
  }
  LoadedMenu(const LoadedMenu &) = delete;
  LoadedMenu &operator=(const LoadedMenu &) = delete;
};

// Decodes the "MBM" resource id into picture. A resource that can't be found
// or loaded reaches the decoder as no data, which fails like a corrupt one.
int loadPicture(int id, Image &picture) {
  const unsigned char *data = nullptr;
  size_t size = 0;
  HRSRC resource = FindResourceA(instanceHandle, MAKEINTRESOURCEA(id), "MBM");
  if (resource) {
    HGLOBAL loaded = LoadResource(instanceHandle, resource);
    if (loaded) {
      data = static_cast<const unsigned char *>(LockResource(loaded));
      size = SizeofResource(instanceHandle, resource);
    }
  }
  int result = picture.loadMbm(data, size);
  if (result != 0)
    picture.clear();
  return result;
}

LRESULT onCreate(HWND window) {
  createBackgroundBrush();
  for (const PictureSource &source : pictureSources) {
    if (loadPicture(source.resourceId, *source.picture) != 0)
      MessageBoxA(window, "Error loading resource or decompressing mbm", "Error", MB_OK);
  }
  InitCommonControls();
  timerId = SetTimer(window, timelineTimer, timelinePeriodMs, NULL);
  return 0;
}

// Blends the frame, centred, over whatever the client area shows. The DIB
// section is made anew for every paint and carries premultiplied alpha, so
// the pixels still transparent in the frame let the background through.
LRESULT onPaint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  if (!dc)
    return 0;
  {
    GdiObject bitmap(framePicture.createDibSection(backdropColour, true));
    if (bitmap.handle) {
      RECT rc;
      GetClientRect(window, &rc);
      // The frame is always a copy of the scene, so it has the scene's size.
      const int w = scenePicture.width;
      const int h = scenePicture.height;
      const PictureOffset offset = centredOffset(rc.right, rc.bottom, w, h);
      MemoryDc memory(dc);
      if (memory.dc) {
        SelectedObject selected(memory.dc, bitmap.handle);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, offset.x, offset.y, w, h, memory.dc, 0, 0, w, h, blend);
      }
    }
  }
  EndPaint(window, &ps);
  return 0;
}

LRESULT onEraseBackground(HWND window, HDC dc) {
  RECT rc;
  GetClientRect(window, &rc);
  // The brush origin stays at the client area's top-left corner: the gradient
  // starts there and repeats only where the client area is larger than the
  // full-screen size it was made for.
  if (backgroundBrush) {
    SelectedObject selected(dc, backgroundBrush);
    PatBlt(dc, rc.left, rc.top, rc.right, rc.bottom, PATCOPY);
  } else {
    GdiObject solid(CreateSolidBrush(backdropColour));
    SelectedObject selected(dc, solid.handle);
    PatBlt(dc, rc.left, rc.top, rc.right, rc.bottom, PATCOPY);
  }
  return 1;
}

LRESULT onSize(HWND window) {
  InvalidateRect(window, NULL, TRUE);
  return 0;
}

// The menu opens at the mouse pointer also when asked for from the keyboard.
// TrackPopupMenu returns once the user has chosen or dismissed; the choice
// then arrives as WM_COMMAND.
LRESULT onContextMenu(HWND window) {
  POINT point = {0, 0};
  GetCursorPos(&point);
  LoadedMenu menu(LoadMenuA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(RES_MENU_CONTEXT)));
  HMENU popup = menu.handle ? GetSubMenu(menu.handle, 0) : NULL;
  if (!popup) {
    MessageBoxA(window, "Error loading menu", "Error", MB_OK);
    return 0;
  }
  TrackPopupMenu(popup, 0, point.x, point.y, 0, window, NULL);
  return 0;
}

LRESULT onCommand(HWND window, WPARAM wParam) {
  switch (LOWORD(wParam)) {
  case RES_CMD_RESTART:
    restartTimeline(1);
    break;
  case RES_CMD_EXIT:
    DestroyWindow(window);
    break;
  }
  return 0;
}

LRESULT onTimer() {
  onTimelineTick();
  return 0;
}

LRESULT onLeftButtonUp(HWND window, LPARAM lParam) {
  RECT rc;
  GetClientRect(window, &rc);
  onCloseBoxClick(rc.right, rc.bottom, LOWORD(lParam), HIWORD(lParam));
  return 0;
}

LRESULT onClose(HWND window) {
  DestroyWindow(window);
  return 0;
}

LRESULT onDestroy(HWND window) {
  if (timerId != 0) {
    KillTimer(window, timerId);
    timerId = 0;
  }
  if (backgroundBrush) {
    DeleteObject(backgroundBrush);
    backgroundBrush = NULL;
  }
  PostQuitMessage(0);
  return 0;
}

} // namespace

LRESULT CALLBACK playerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_CREATE:
    return onCreate(window);
  case WM_PAINT:
    return onPaint(window);
  case WM_ERASEBKGND:
    return onEraseBackground(window, reinterpret_cast<HDC>(wParam));
  case WM_SIZE:
    return onSize(window);
  case WM_CONTEXTMENU:
    return onContextMenu(window);
  case WM_COMMAND:
    return onCommand(window, wParam);
  case WM_TIMER:
    return onTimer();
  case WM_LBUTTONUP:
    return onLeftButtonUp(window, lParam);
  case WM_CLOSE:
    return onClose(window);
  case WM_DESTROY:
    return onDestroy(window);
  default:
    return DefWindowProcA(window, message, wParam, lParam);
  }
}

HBRUSH createBackgroundBrush() {
  Image picture; // the 4 x 3 source, freed on every way out
  if (loadPicture(RES_MBM_BACKGROUND, picture) != 0)
    return NULL;
  // The client size of a full-screen window on the primary display. A failed
  // stretch would leave a tiny picture that tiles into a pattern, or none at
  // all: either way the plain backdrop colour is the better background.
  const int width = GetSystemMetrics(SM_CXFULLSCREEN);
  const int height = GetSystemMetrics(SM_CYFULLSCREEN);
  if (width < 1 || height < 1 || picture.resample(width, height) != 0)
    return NULL;
  GdiObject bitmap(picture.createBitmap(backdropColour, false));
  if (!bitmap.handle)
    return NULL;
  LOGBRUSH pattern;
  pattern.lbStyle = BS_PATTERN;
  pattern.lbColor = 0;
  pattern.lbHatch = reinterpret_cast<ULONG_PTR>(bitmap.handle);
  // The brush holds its own copy of the pattern, so the bitmap goes at once.
  backgroundBrush = CreateBrushIndirect(&pattern);
  return backgroundBrush;
}

// --- The timeline's platform effects ---

void requestRepaint(bool erase) {
  if (mainWindow)
    InvalidateRect(mainWindow, NULL, erase ? TRUE : FALSE);
}

void parkRealPointer() {
  // The system keeps the pointer on the last pixel of the screen.
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

// From the WAVE resource, don't wait, no default sound in place of a missing
// clip, and drop the clip rather than cut into one still sounding.
constexpr DWORD clipFlags = SND_RESOURCE | SND_ASYNC | SND_NODEFAULT | SND_NOSTOP;
static_assert(clipFlags == 0x40017, "clip flags");

void playClip(int clipId) {
  PlaySoundA(MAKEINTRESOURCEA(clipId), instanceHandle, clipFlags);
}

bool askReplayInSlowMotion() {
  static_assert((MB_YESNO | MB_ICONQUESTION) == 0x24, "question flags");
  return MessageBoxA(mainWindow, "The presentation has ended. Replay it in the slow motion?",
                     "Presentation", MB_YESNO | MB_ICONQUESTION) == IDYES;
}
