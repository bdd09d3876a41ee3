// Win32 implementation of os.h: the shipped Korwipe.exe. Text is that of the
// ANSI file functions; files and directories are reached through handles
// (os_win32_dirs.cpp, os_win32_files.cpp, with what they share in
// win32_io.h). Here: separators, clock, setting, writes, command line and
// console.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <deque>
#include <string>

#include "wipe/names/paths.h"
#include "wipe/os/os.h"
#include "wipe/os/testhooks.h"
#include "wipe/os/win32_io.h"

OsUtcTime osUtcNow() {
  OsUtcTime t{};
  if (testClock(t)) return t;
  SYSTEMTIME st;
  GetSystemTime(&st);
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  return t;
}

bool osSettingsPath(char (&out)[kPathMax]) {
  char folder[MAX_PATH];
  // CSIDL_COMMON_APPDATA, not created: the tool only ever reads the file.
  if (!SHGetSpecialFolderPathA(nullptr, folder, 0x23, FALSE)) return false;
  return joinPath(out, folder, std::strlen(folder), "\\Korvanel\\Ostrel\\config.cfg");
}

// ---- files ----------------------------------------------------------------
//
// Directories and opening, moving and deleting files: os_win32_dirs.cpp and
// os_win32_files.cpp. Here the writes through a handle they opened, which
// is synchronous, so that every write lands at the current position.

bool osFileLength(OsFile& f, uint64_t& length) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(asHandle(f.handle), &size)) return false;
  length = (uint64_t)size.QuadPart;
  return true;
}

bool osSeekStart(OsFile& f) {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  return SetFilePointerEx(asHandle(f.handle), zero, nullptr, FILE_BEGIN) != 0;
}

bool osWriteAll(OsFile& f, const unsigned char* data, size_t n) {
  while (n > 0) {
    DWORD chunk = n > 0x40000000 ? 0x40000000 : (DWORD)n;
    DWORD written = 0;
    if (!WriteFile(asHandle(f.handle), data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    n -= written;
  }
  return true;
}

bool osFlush(OsFile& f) { return FlushFileBuffers(asHandle(f.handle)) != 0; }

// Windows has no call that flushes many files' data with one flush of the
// device: each file is flushed on its own, as osFlush does.
void osFlushGroup(OsFile* const* files, size_t n, bool* ok) {
  for (size_t i = 0; i < n; ++i) ok[i] = osFlush(*files[i]);
}

// Handles are not scarce on Windows.
int osFilesAtOnce() { return 4096; }

void osBeginFileWork() {
#ifndef _WIN64
  // A 32-bit program on 64-bit Windows sees C:\Windows\System32 redirected
  // to SysWOW64 for as long as redirection is on for the thread; everything
  // that opens files runs on this one. The old value is not kept: nothing
  // loaded later needs redirection back.
  BOOL wow64 = FALSE;
  PVOID old = nullptr;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) Wow64DisableWow64FsRedirection(&old);
#endif
}

// ---- command line ----------------------------------------------------------

// The C runtime's argv holds the arguments already narrowed to the ANSI code
// page with the nearest forms Windows picks for what has no form there (a
// letter may lose its accent, a character become a plain '?'), which could
// name another file. They are taken from the UTF-16 command line instead and
// narrowed here without substitution.
int osArguments(int argc, char** argv, OsArgument* args, int capacity) {
  // Process-lifetime storage: the texts are kept until the program ends.
  static std::deque<std::string> texts;
  int wideCount = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wideCount);
  int count = 0;
  if (!wide) {
    for (int i = 1; i < argc && count < capacity; ++i)
      args[count++] = OsArgument{argv[i], true, std::strpbrk(argv[i], "*?") != nullptr};
    return count;
  }
  for (int i = 1; i < wideCount && count < capacity; ++i) {
    std::u16string w(reinterpret_cast<const char16_t*>(wide[i]));
    std::string narrow;
    bool exact = narrowFileText(w, narrow);
    texts.push_back(narrow);
    bool wild = w.find_first_of(u"*?") != std::u16string::npos;
    args[count++] = OsArgument{texts.back().c_str(), exact, wild};
  }
  LocalFree(wide);
  return count;
}

// ---- console --------------------------------------------------------------

bool OsConsole::open() {
  close();
  HANDLE hin = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  DWORD mode;
  if (hin == INVALID_HANDLE_VALUE) return false;
  if (!GetConsoleMode(hin, &mode)) {
    CloseHandle(hin);
    return false;
  }
  in = reinterpret_cast<intptr_t>(hin);
  HANDLE hout = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  out = hout == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(hout);
  return true;
}

static bool isModifierOnly(WORD vk) {
  switch (vk) {
    case VK_SHIFT: case VK_CONTROL: case VK_MENU: case VK_CAPITAL: case VK_NUMLOCK: case VK_SCROLL:
    case VK_LWIN: case VK_RWIN: case VK_LSHIFT: case VK_RSHIFT: case VK_LCONTROL: case VK_RCONTROL:
    case VK_LMENU: case VK_RMENU:
      return true;
    default:
      return false;
  }
}

int OsConsole::readKey(int& echo) {
  echo = -1;
  if (pendingCode >= 0) {
    // Second code of a key without a character: compared, not echoed.
    int code = pendingCode;
    pendingCode = -1;
    return code;
  }
  HANDLE h = asHandle(in);
  DWORD saved;
  if (!GetConsoleMode(h, &saved)) return -1;
  // Raw for the one key: no line input, no system echo, Ctrl-C is a key.
  SetConsoleMode(h, 0);
  int code = -1;
  for (;;) {
    INPUT_RECORD rec;
    DWORD n = 0;
    if (!ReadConsoleInputA(h, &rec, 1, &n) || n == 0) break;
    if (rec.EventType != KEY_EVENT || !rec.Event.KeyEvent.bKeyDown) continue;
    const KEY_EVENT_RECORD& k = rec.Event.KeyEvent;
    unsigned char ch = (unsigned char)k.uChar.AsciiChar;
    if (ch != 0) {
      code = ch;
      break;
    }
    if (isModifierOnly(k.wVirtualKeyCode)) continue;
    code = (k.dwControlKeyState & ENHANCED_KEY) ? 0xE0 : 0x00;
    pendingCode = k.wVirtualScanCode & 0xFF;
    break;
  }
  SetConsoleMode(h, saved);
  if (code >= 0) echo = code;
  return code;
}

void OsConsole::echo(char c) {
  if (out == -1) return;
  DWORD written;
  WriteConsoleA(asHandle(out), &c, 1, &written, nullptr);
}

void OsConsole::close() {
  if (in != -1) CloseHandle(asHandle(in));
  if (out != -1) CloseHandle(asHandle(out));
  in = out = -1;
  pendingCode = -1;
}
