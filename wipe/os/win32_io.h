// What the Windows halves of os.h (os_win32*.cpp) share: a scope type for
// handles, opening a name relative to a handle, and who an open handle is.
// The file functions' text is names/wintext.h. Windows builds only.
#pragma once

#include <windows.h>

#include <string>

#include "wipe/names/wintext.h"
#include "wipe/os/os.h"
#include "wipe/os/win32_native.h"
#include "wipe/os/winrules.h"

// Owns one handle; non-copyable, closed on every way out.
struct WinHandle {
  HANDLE h = INVALID_HANDLE_VALUE;
  WinHandle() = default;
  WinHandle(const WinHandle&) = delete;
  WinHandle& operator=(const WinHandle&) = delete;
  ~WinHandle() { close(); }
  bool isOpen() const { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  void close();
  // Hands the handle over to the caller, who closes it from then on.
  HANDLE release();
};

inline HANDLE asHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// NtCreateFile of name relative to the directory (or file) root, for an
// existing object, shared with everyone. The status; out is open only on
// success.
LONG openAt(HANDLE root, const std::u16string& name, ACCESS_MASK access, ULONG options, WinHandle& out);

// Who h is: volume serial number and 64-bit file index; info holds the rest.
bool handleIdentity(HANDLE h, BY_HANDLE_FILE_INFORMATION& info, OsFileId& id);

// The reparse tag of h, or 0 when h is no reparse point. False when it
// cannot be read.
bool handleReparseTag(HANDLE h, DWORD& attributes, DWORD& tag);

// False when h, opened by name from the directory dir, has a path of its own
// other than dir's path and that name: it was reached through a link after
// all. Windows opens a link itself (FILE_OPEN_REPARSE_POINT); Wine opens a
// POSIX link through to its target and names the handle by the target's
// path, which this tells. True when a path cannot be had: the identity and
// tag checks stand alone then, where refusing would fail every file on such
// a volume. (cfgsetup's namedIn answers false there: it can give up at the
// cost of one setting file.)
bool handleNamedIn(HANDLE h, HANDLE dir, const std::u16string& name);

// Marks the object of h to be deleted when its last handle closes. A
// directory must be empty: the file system refuses the mark otherwise.
bool setDeleteDisposition(HANDLE h);

// An entry as os.h describes it from a listing record of a directory on the
// volume with that serial number: its kind, its identity, its name in the
// file functions' text and whether that name can be used.
void entryFromRecord(const DirRecord& r, uint64_t volume, OsEntry& e);
