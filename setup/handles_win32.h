// The handle work cfgsetup and the uninstaller's helper share: opening a
// name relative to the handle of the folder before it without following
// links, and finding out what such a handle holds.
//
// The common application-data folder lets every local user create folders,
// so each name on the way (Korvanel, Ostrel, config.cfg) may have been made
// by someone else, as a link to a place of their choosing. Every name is
// opened relative to the handle of its folder, never by a path, and the
// handle is checked to hold the very entry of that name (placement.h has
// what is then done with it).
#pragma once

#include <windows.h>

#include "placement.h"

// A kernel handle, closed on every way out of its scope.
struct ScopedHandle {
  HANDLE h = INVALID_HANDLE_VALUE;
  ScopedHandle() = default;
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { close(); }
  bool isOpen() const { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  void close();
};

// Enables the privileges that let an administrator open (with backup
// intent), read, move and delete an entry whatever access list its maker
// gave it. Missing ones are no error: the open then tells.
void enableBackupPrivileges();

// NtCreateFile dispositions and options used with openRelative.
constexpr ULONG kOpenExisting = 1;        // FILE_OPEN
constexpr ULONG kCreateNew = 2;           // FILE_CREATE
constexpr ULONG kDirectoryFile = 0x1;     // FILE_DIRECTORY_FILE
constexpr ULONG kNonDirectoryFile = 0x40;  // FILE_NON_DIRECTORY_FILE

// No share for deleting: while an entry is held so, nobody else can rename
// or remove it (on Windows; Wine enforces share modes among its own
// processes only), and one that someone else holds open with delete access
// is not opened at all.
constexpr ULONG kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Opens or creates `name` relative to `root` (an empty name reopens root),
// never following a link on Windows (FILE_OPEN_REPARSE_POINT), with backup
// intent. The name is taken exactly; it is never a path. The NTSTATUS.
LONG openRelative(HANDLE root, const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition,
                  ULONG options, PSECURITY_DESCRIPTOR security, ScopedHandle& out);

// True for the statuses that say the name is not there.
bool statusNotFound(LONG status);

// True for a status of success.
inline bool statusOk(LONG status) { return status >= 0; }

// The facts of an open entry that do not need its security: reparse point
// (on the handle or in the listing), folder, link count, and whether the
// handle holds the entry of that name in `parent` (the listing shows the
// same file and the handle's own path ends in that name). Owner Other and
// othersMayChange true until gatherSecurity says otherwise. False when the
// handle cannot be read.
bool gatherFacts(HANDLE entry, HANDLE parent, const wchar_t* name, EntryFacts& facts);

// Owner and access list of an open folder, as the decision needs them. An
// unreadable owner counts as someone else's, an unreadable list as open to
// all.
void gatherSecurity(HANDLE folder, EntryFacts& facts);

// True while `parent`'s listing still shows `name` as the file `entry`
// holds, and, unless mayBeLink (a link held itself, to be removed as a
// name), not as a reparse point. Under Wine a rename or delete through a
// handle acts on the path the handle was opened by; checking just before it
// makes a folder swapped for a link since the open seen, and leaves only the
// moment between this check and the act.
bool stillListed(HANDLE entry, HANDLE parent, const wchar_t* name, bool mayBeLink = false);

// Marks the entry of h to be deleted when its last handle closes; a folder
// must be empty for this to succeed.
bool markForDelete(HANDLE h);

// Renames the entry h holds to `name` in the folder `parent`, never
// replacing an entry of that name. The NTSTATUS.
LONG renameInFolder(HANDLE h, HANDLE parent, const wchar_t* name);

// The status of a rename whose target name is taken.
constexpr LONG kStatusNameCollision = (LONG)0xC0000035;
