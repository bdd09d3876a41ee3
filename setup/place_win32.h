// The Windows placement of config.cfg, step by step, through handles.
//
// The common application-data folder lets every local user create folders,
// so each name on the way (Korvanel, Ostrel, config.cfg) may have been made
// by someone else, as a link to a place of their choosing. Every step opens
// the next name relative to the handle of the folder before it, never
// follows a link, checks that the handle holds the very entry of that name,
// and acts through that handle (placement.h has the rules). Nothing is
// resolved from a path again until the tool is started, and by then only
// the trusted accounts own or may change either folder.
#pragma once

#include <windows.h>

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

// Results of the placement steps.
enum class StepResult {
  Done,     // the step is done and what it left is safe to work in (or to name to the tool)
  Failed,   // the step could not be done (no such folder, no room, no source): nothing unsafe was met
  Refused,  // the entry is not what it claims to be, or could not be made safe: place and grant nothing
};

// Enables the privileges that let an administrator open a folder someone
// else owns for resetting its owner and access list. Missing ones are no
// error: the open then tells.
void enablePlacementPrivileges();

// Opens the common application-data folder itself, by its path. It is the
// system's folder, so a redirection the system made there is followed.
bool openBaseFolder(const wchar_t* path, ScopedHandle& out);

// Opens the folder `name` in `parent`, creating it with the guarded access
// list when it is missing, and makes sure it is a real folder that only
// the trusted accounts can change (resetting owner and access list when
// needed). Done: `out` holds the folder.
StepResult enterFolder(HANDLE parent, const wchar_t* name, ScopedHandle& out);

// Places the file `name` in `folder` with the contents of `source` (no
// source: INVALID_HANDLE_VALUE, then an existing plain file is left as it
// is). An existing plain file is overwritten through the handle; a link or
// a file with other names is removed as a name and a new file is created.
StepResult placeFile(HANDLE folder, const wchar_t* name, HANDLE source);
