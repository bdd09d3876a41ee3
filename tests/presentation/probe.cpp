// Looks at the windows of the running presentation from inside the same Wine
// desktop, for the GUI tests: where the main window's client area lies on the
// screen, what a message box says, where an open pop-up menu is.
//
//   presentation_probe window TITLE   "client LEFT TOP RIGHT BOTTOM maximised 0|1
//                                      fullscreen WIDTH HEIGHT visible 0|1" (the
//                                      full-screen size is the one the
//                                      background brush is made for)
//   presentation_probe msgbox CAPTION "handle H", "visible 0|1", "text TEXT"
//                                      for its text, and for each button
//                                      "button LEFT TOP RIGHT BOTTOM TEXT";
//                                      a box is found as soon as it has its
//                                      caption, but lays out its buttons
//                                      before it is shown: until "visible 1"
//                                      they may stand anywhere
//   presentation_probe menu           "menu LEFT TOP RIGHT BOTTOM"
//   presentation_probe modules TITLE  "module PATH" for each module loaded in
//                                      the process of the window (which
//                                      common controls its manifest brought)
//   presentation_probe waitmsgbox CAPTION SECONDS
//                                      waits (looking every 10 ms) until a
//                                      message box with that caption exists,
//                                      prints "found" at once, then as msgbox;
//                                      for timing when the box comes
//
// Exit code 0 when the window was found, 1 when not.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

BOOL CALLBACK printChild(HWND child, LPARAM) {
  char className[64] = "";
  char text[512] = "";
  GetClassNameA(child, className, sizeof className);
  GetWindowTextA(child, text, sizeof text);
  if (!lstrcmpiA(className, "Button")) {
    RECT rc;
    GetWindowRect(child, &rc);
    std::printf("button %ld %ld %ld %ld %s\n", rc.left, rc.top, rc.right, rc.bottom, text);
  }
  else if (!lstrcmpiA(className, "Static") && text[0])
    std::printf("text %s\n", text);
  return TRUE;
}

int window(const char *title) {
  HWND found = FindWindowA("Presentation", title);
  if (!found)
    return 1;
  RECT rc;
  GetClientRect(found, &rc);
  POINT topLeft = {rc.left, rc.top};
  POINT bottomRight = {rc.right, rc.bottom};
  ClientToScreen(found, &topLeft);
  ClientToScreen(found, &bottomRight);
  std::printf("client %ld %ld %ld %ld maximised %d fullscreen %d %d visible %d\n", topLeft.x,
              topLeft.y, bottomRight.x, bottomRight.y, IsZoomed(found) ? 1 : 0,
              GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN),
              IsWindowVisible(found) ? 1 : 0);
  return 0;
}

int messageBox(const char *caption) {
  HWND found = FindWindowA("#32770", caption);
  if (!found)
    return 1;
  std::printf("handle %p\nvisible %d\n", static_cast<void *>(found), IsWindowVisible(found) ? 1 : 0);
  EnumChildWindows(found, printChild, 0);
  return 0;
}

int waitMessageBox(const char *caption, DWORD seconds) {
  const DWORD start = GetTickCount();
  while (!FindWindowA("#32770", caption)) {
    if (GetTickCount() - start > seconds * 1000)
      return 1;
    Sleep(10);
  }
  std::printf("found\n");
  std::fflush(stdout);
  return messageBox(caption);
}

int menu() {
  HWND found = FindWindowA("#32768", NULL);
  if (!found || !IsWindowVisible(found))
    return 1;
  RECT rc;
  GetWindowRect(found, &rc);
  std::printf("menu %ld %ld %ld %ld\n", rc.left, rc.top, rc.right, rc.bottom);
  return 0;
}

// Closes a process handle on every way out.
struct ProcessHandle {
  HANDLE handle;
  explicit ProcessHandle(HANDLE h) : handle(h) {}
  ~ProcessHandle() {
    if (handle)
      CloseHandle(handle);
  }
  ProcessHandle(const ProcessHandle &) = delete;
  ProcessHandle &operator=(const ProcessHandle &) = delete;
};

int modules(const char *title) {
  HWND found = FindWindowA("Presentation", title);
  if (!found)
    return 1;
  DWORD pid = 0;
  GetWindowThreadProcessId(found, &pid);
  ProcessHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  HMODULE loaded[1024];
  DWORD needed = 0;
  if (!process.handle || !EnumProcessModules(process.handle, loaded, sizeof loaded, &needed))
    return 1;
  DWORD count = needed / sizeof(HMODULE);
  for (DWORD i = 0; i < count && i < sizeof loaded / sizeof loaded[0]; ++i) {
    char path[MAX_PATH];
    if (GetModuleFileNameExA(process.handle, loaded[i], path, sizeof path))
      std::printf("module %s\n", path);
  }
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  int result = 2;
  if (argc == 3 && !std::strcmp(argv[1], "window"))
    result = window(argv[2]);
  else if (argc == 3 && !std::strcmp(argv[1], "msgbox"))
    result = messageBox(argv[2]);
  else if (argc == 2 && !std::strcmp(argv[1], "menu"))
    result = menu();
  else if (argc == 3 && !std::strcmp(argv[1], "modules"))
    result = modules(argv[2]);
  else if (argc == 4 && !std::strcmp(argv[1], "waitmsgbox"))
    result = waitMessageBox(argv[2], static_cast<DWORD>(std::atoi(argv[3])));
  else
    std::fprintf(stderr, "usage: presentation_probe window TITLE | msgbox CAPTION | menu"
                         " | modules TITLE | waitmsgbox CAPTION SECONDS\n");
  std::fflush(stdout);
  return result;
}
