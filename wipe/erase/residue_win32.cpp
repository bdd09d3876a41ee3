// Windows facts for residue.h: the file's compressed attribute, the reparse
// tag of a file opened through its filter (noted by osOpenForUpdate), the
// name of the file system of the volume it is on and whether that volume is
// remote, taken once, from the open handle, before the first pass.
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
#include "wipe/os/winstorage.h"

extern "C" LONG NTAPI NtQueryVolumeInformationFile(HANDLE FileHandle, PVOID IoStatusBlock, PVOID FsInformation,
                                                   ULONG Length, int FsInformationClass);

// FILE_FS_DEVICE_INFORMATION of the volume h is on: a network file
// system's device, or one the redirector marks remote (a mapped share).
static bool volumeIsRemote(HANDLE h) {
  const int kFileFsDeviceInformation = 4;
  struct {
    union {
      LONG status;
      PVOID pointer;
    };
    ULONG_PTR information;
  } io = {};
  unsigned char info[8] = {};
  LONG status = NtQueryVolumeInformationFile(h, &io, info, sizeof info, kFileFsDeviceInformation);
  return status >= 0 && readVolumeIsRemote(info, io.information <= sizeof info ? (size_t)io.information : 0) == 1;
}

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
  w.reason = reasonForWindowsFile(compressed, f.reparseTag, name, volumeIsRemote(h));
}

// Nothing to compare afterwards: the facts above are known before the passes.
void residueWatchEnd(OsFile&, ResidueWatch&) {}
