// Windows facts for residue.h: the file's compressed attribute, the reparse
// tag of a file opened through its filter (noted by osOpenForUpdate) and the
// name of the file system of the volume it is on, taken once, from the open
// handle, before the first pass.
//
// The volume is asked through the handle (GetVolumeInformationByHandleW)
// rather than through GetVolumePathNameA and GetVolumeInformationA on the
// path: the handle names the volume the open file is really on, whatever
// mount points, relative names or links the path went through. Wine reports
// NTFS either way for its drives; the path route there also prints a line
// of its own on standard error for every file on the Z: drive, and fails for
// a folder on another Unix mount.
#include <windows.h>

#include "wipe/erase/residue.h"
#include "wipe/os/os.h"

void residueWatchStart(OsFile& f, uint64_t, ResidueWatch& w) {
  HANDLE h = reinterpret_cast<HANDLE>(f.handle);
  BY_HANDLE_FILE_INFORMATION info;
  bool compressed = GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_COMPRESSED);
  wchar_t wide[MAX_PATH + 1];
  char name[MAX_PATH + 1] = "";
  if (GetVolumeInformationByHandleW(h, nullptr, 0, nullptr, nullptr, nullptr, wide, MAX_PATH + 1)) {
    // File-system names are ASCII; anything else stays visible as '?'.
    size_t i = 0;
    for (; wide[i] && i < MAX_PATH; ++i) name[i] = wide[i] < 0x80 ? (char)wide[i] : '?';
    name[i] = 0;
  }
  w.reason = reasonForWindowsFile(compressed, f.reparseTag, name);
}

// Nothing to compare afterwards: the facts above are known before the passes.
void residueWatchEnd(OsFile&, ResidueWatch&) {}
