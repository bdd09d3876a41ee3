// The Windows placement of config.cfg, step by step, through handles
// (handles_win32.h): each name is opened relative to the handle of the
// folder before it, checked to be the entry of that name and no link, and
// acted on through that handle (placement.h has the rules). Nothing is
// resolved from a path again until the tool is started, and by then both
// folders were made or verified by this run and only the trusted accounts
// own or may change them.
#pragma once

#include <windows.h>

#include "handles_win32.h"

// Results of the placement steps.
enum class StepResult {
  Done,     // the step is done and what it left is safe to work in (or to name to the tool)
  Failed,   // the step could not be done (no such folder, no room, no source): nothing unsafe was met
  Refused,  // the entry is not what it claims to be, or could not be made safe: place and grant nothing
};

// Opens the common application-data folder itself, by its path. It is the
// system's folder, so a redirection the system made there is followed.
bool openBaseFolder(const wchar_t* path, ScopedHandle& out);

// Opens the folder `name` in `parent`, creating it with the guarded access
// list when it is missing. A real folder that is not the trusted accounts'
// alone is renamed aside through its handle (name.untrusted-N, the first N
// free) and the folder made anew; when that cannot be done, Refused. Done:
// `out` holds a folder this run made or verified.
StepResult enterFolder(HANDLE parent, const wchar_t* name, ScopedHandle& out);

// Places the file `name` in `folder` with the contents of `source` (no
// source: INVALID_HANDLE_VALUE, then an existing plain file is left as it
// is). An existing plain file is overwritten through the handle; a link or
// a file with other names is removed as a name and a new file is created.
StepResult placeFile(HANDLE folder, const wchar_t* name, HANDLE source);
