// Win32 implementation of os.h (ANSI calls): the shipped Korwipe.exe.
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "os.h"
#include "os_testhooks.h"
#include "paths.h"
#include "reparse.h"
#include "winmatch.h"
#include "wintext.h"

bool osIsSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }
char osSeparator() { return '\\'; }

size_t osCharLength(const char* text) {
  UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  return IsDBCSLeadByteEx(codePage, (BYTE)text[0]) && text[1] ? 2 : 1;
}

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

static HANDLE asHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

static const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The reparse tag of an open handle; 0 (no valid tag, so taken as a link)
// when it cannot be read or the handle shows no reparse point.
static DWORD handleReparseTag(HANDLE h) {
  FILE_ATTRIBUTE_TAG_INFO info;
  if (!GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof info)) return 0;
  return (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? info.ReparseTag : 0;
}

// The kind of path from its attributes a and, for a reparse point, the tag
// read through a handle on the entry itself (not on its target).
static OsNameKind kindOf(const char* path, DWORD a) {
  DWORD tag = 0;
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
    HANDLE h = CreateFileA(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      tag = handleReparseTag(h);
      CloseHandle(h);
    }
  }
  return windowsNameKind(a, tag);
}

OsNameKind osNameKind(const char* path) {
  DWORD a = GetFileAttributesA(path);
  if (a == INVALID_FILE_ATTRIBUTES) return OsNameKind::Missing;
  return kindOf(path, a);
}

void osClearReadOnly(const char* path) {
  DWORD a = GetFileAttributesA(path);
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_READONLY)) return;
  // Only a file to overwrite: a link's target is not ours to change, nor is
  // a directory named by mistake.
  if (kindOf(path, a) != OsNameKind::File) return;
  a &= ~(DWORD)FILE_ATTRIBUTE_READONLY;
  SetFileAttributesA(path, a ? a : FILE_ATTRIBUTE_NORMAL);
}

void OsFile::close() {
  if (handle != -1) CloseHandle(asHandle(handle));
  handle = -1;
}

// A disk file that is not a directory (devices such as CON, NUL, COM1 and
// directories are not files to overwrite); info is filled when true.
static bool isDiskFile(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) {
  return GetFileInformationByHandle(h, &info) && GetFileType(h) == FILE_TYPE_DISK &&
         !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Opens path again for update without FILE_FLAG_OPEN_REPARSE_POINT, so that
// the filter owning a reparse point with data of its own (deduplicated,
// cloud placeholder, compressed by the overlay filter, held by a storage
// manager) presents the contents as every program sees them: opened with the
// flag, the filter stays out and the handle reaches only the raw stream,
// which need not hold the contents at all. The new handle must be the file
// that info describes: a link swapped in between the two opens would be
// followed. INVALID_HANDLE_VALUE when it cannot be opened or is another file.
static HANDLE reopenThroughFilter(const char* path, const BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  BY_HANDLE_FILE_INFORMATION now;
  if (isDiskFile(h, now) && now.dwVolumeSerialNumber == info.dwVolumeSerialNumber &&
      now.nFileIndexHigh == info.nFileIndexHigh && now.nFileIndexLow == info.nFileIndexLow)
    return h;
  CloseHandle(h);
  return INVALID_HANDLE_VALUE;
}

OsOpenResult osOpenForUpdate(const char* path, OsFile& f) {
  // FILE_FLAG_OPEN_REPARSE_POINT opens a reparse point itself instead of
  // what it leads to, so that a link is recognised by its tag and never
  // written through.
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return OsOpenResult::Failed;
  BY_HANDLE_FILE_INFORMATION info;
  if (!isDiskFile(h, info)) {
    CloseHandle(h);
    return OsOpenResult::Failed;
  }
  uint32_t tag = 0;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    tag = handleReparseTag(h);
    // A tag that cannot be read says neither link nor file: nothing is done
    // to it, and it is reported as a file that could not be opened.
    if (!reparseTagIsValid(tag)) {
      CloseHandle(h);
      return OsOpenResult::Failed;
    }
    bool link = reparseTagIsLink(tag);
    HANDLE data = link ? INVALID_HANDLE_VALUE : reopenThroughFilter(path, info);
    CloseHandle(h);
    if (link) return OsOpenResult::IsLink;
    if (data == INVALID_HANDLE_VALUE) return OsOpenResult::Failed;
    h = data;
  }
  f.close();
  f.handle = reinterpret_cast<intptr_t>(h);
  f.reparseTag = tag;
  return OsOpenResult::Opened;
}

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

bool osFlush(OsFile& f) {
  if (!FlushFileBuffers(asHandle(f.handle))) return false;
  testSnapshot(f);
  return true;
}

bool osMoveNoReplace(const char* from, const char* to) { return MoveFileA(from, to) != 0; }

bool osDeleteFile(const char* path) { return DeleteFileA(path) != 0; }

bool osRemoveLink(const char* path) {
  // A directory link (junction, directory symlink) is removed like an empty
  // directory; that deletes the link, never the target's contents.
  DWORD a = GetFileAttributesA(path);
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return RemoveDirectoryA(path) == 1;
  return DeleteFileA(path) != 0;
}

bool osRemoveDirectory(const char* path) { return RemoveDirectoryA(path) == 1; }

// ---- search ---------------------------------------------------------------

namespace {
// The search's own record of the typed pattern, as the file system received it.
struct Win32Search {
  std::u16string expression;  // the translated name pattern
  bool judge = false;         // the expression has wildcards and could be widened
};

bool fill(OsFindEntry& e, const WIN32_FIND_DATAA& fd) {
  size_t n = std::strlen(fd.cFileName);
  if (n >= sizeof e.name) return false;
  std::memcpy(e.name, fd.cFileName, n + 1);
  // The search record carries the reparse tag in dwReserved0.
  OsNameKind kind = windowsNameKind(fd.dwFileAttributes, fd.dwReserved0);
  e.isDirectory = kind == OsNameKind::Directory || kind == OsNameKind::DirectoryLink;
  e.isLink = osIsLink(kind);
  return true;
}
}  // namespace

// The system's search also matches the 8.3 short names, so "*.tmp" finds
// "report.tmpx" through "REPORT~1.TMP". An entry is dropped only when its
// long name does not match by the system's own rules (keepFoundEntry), with
// the pattern and the name widened as FindFirstFileA widened them.
static bool acceptable(OsSearch& s, const WIN32_FIND_DATAA& fd, OsFindEntry& e) {
  const Win32Search* w = static_cast<const Win32Search*>(s.state);
  if (w->judge) {
    std::u16string longName;
    if (widenFileApiText(fd.cFileName, longName) && !keepFoundEntry(w->expression, longName)) return false;
  }
  return fill(e, fd);
}

bool OsSearch::first(const char* pattern, OsFindEntry& e) {
  close();
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(pattern, &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle = reinterpret_cast<intptr_t>(h);
  Win32Search* w = new Win32Search;
  state = w;
  // A name pattern that cannot be widened or translated is not judged: the
  // system found these entries, and nothing here can say it was wrong. Nor
  // is "*", which every name matches (the directory walk's listings).
  std::u16string typed;
  bool verbatim = std::strncmp(pattern, "\\\\?\\", 4) == 0;
  w->judge = widenFileApiText(pattern + dirPartLength(pattern), typed) &&
             translateSearchPattern(typed, verbatim, w->expression) && expressionHasWildcards(w->expression) &&
             w->expression != u"*";
  if (acceptable(*this, fd, e)) return true;
  return next(e);
}

bool OsSearch::next(OsFindEntry& e) {
  if (handle == -1) return false;
  WIN32_FIND_DATAA fd;
  while (FindNextFileA(asHandle(handle), &fd))
    if (acceptable(*this, fd, e)) return true;
  return false;
}

void OsSearch::close() {
  if (handle != -1) FindClose(asHandle(handle));
  handle = -1;
  delete static_cast<Win32Search*>(state);
  state = nullptr;
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

#ifdef KOR_WIPE_TEST_HOOKS
bool osReadAt(OsFile& f, uint64_t offset, unsigned char* data, size_t n) {
  while (n > 0) {
    OVERLAPPED ov{};
    ov.Offset = (DWORD)offset;
    ov.OffsetHigh = (DWORD)(offset >> 32);
    DWORD chunk = n > 0x100000 ? 0x100000 : (DWORD)n, got = 0;
    if (!ReadFile(asHandle(f.handle), data, chunk, &got, &ov) || got == 0) return false;
    data += got;
    offset += got;
    n -= got;
  }
  return true;
}
#endif
