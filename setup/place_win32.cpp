#include "place_win32.h"

#include <sddl.h>

namespace {

// Reads the folder and its security, opens names inside it, and renames it
// aside when it is not ours.
constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | DELETE | SYNCHRONIZE;

// Overwrites the file, or removes its name.
constexpr ACCESS_MASK kFileAccess = GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// How many names beside a folder are tried for moving it aside.
constexpr unsigned kAsideTries = 100;

// The guarded folder security: owner Administrators; a protected list (no
// entries inherited from the application-data folder, which lets every user
// create entries) giving Administrators and SYSTEM full control and Users
// read and execute, all inherited by what the folder holds.
PSECURITY_DESCRIPTOR guardedSecurity() {
  static PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!descriptor &&
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", SDDL_REVISION_1, &descriptor, nullptr))
    descriptor = nullptr;
  return descriptor;
}

// Renames the folder `folder` holds, entry `name` of `parent`, to the first
// free name.untrusted-N beside it. Through the handle: what moves is the
// folder that was judged, with every handle anyone opened on it before.
bool moveAside(HANDLE folder, HANDLE parent, const wchar_t* name) {
  wchar_t aside[MAX_PATH];
  for (unsigned n = 1; n <= kAsideTries; ++n) {
    if (!asideName(name, n, aside, MAX_PATH) || !stillListed(folder, parent, name)) return false;
    LONG s = renameInFolder(folder, parent, aside);
    if (statusOk(s)) return true;
    if (s != kStatusNameCollision) return false;
  }
  return false;
}

// Makes the folder `name` in `parent` with the guarded security from the
// start. Not found: the parent is gone; anything else that fails (the name
// has come to exist meanwhile, or exists as a link to nowhere) is refused
// rather than opened: a name that reappears is someone else's.
StepResult createFolder(HANDLE parent, const wchar_t* name, ScopedHandle& out) {
  LONG s = openRelative(parent, name, kFolderAccess, kShareNoDelete, kCreateNew, kDirectoryFile, guardedSecurity(),
                        out);
  if (statusOk(s)) return StepResult::Done;
  return statusNotFound(s) ? StepResult::Failed : StepResult::Refused;
}

// Writes the whole source from its start over the file, cut to the source's
// length, with the source's last-write time as a copy has.
bool copyInto(HANDLE file, HANDLE source) {
  FILE_END_OF_FILE_INFO empty = {};
  LARGE_INTEGER start = {};
  if (!SetFileInformationByHandle(file, FileEndOfFileInfo, &empty, sizeof empty) ||
      !SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !SetFilePointerEx(source, start, nullptr, FILE_BEGIN))
    return false;
  static unsigned char chunk[65536];
  for (;;) {
    DWORD got = 0, put = 0;
    if (!ReadFile(source, chunk, sizeof chunk, &got, nullptr)) return false;
    if (got == 0) break;
    if (!WriteFile(file, chunk, got, &put, nullptr) || put != got) return false;
  }
  FILETIME written;
  if (GetFileTime(source, nullptr, nullptr, &written)) SetFileTime(file, nullptr, nullptr, &written);
  return true;
}

}  // namespace

bool openBaseFolder(const wchar_t* path, ScopedHandle& out) {
  out.close();
  out.h = CreateFileW(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  return out.isOpen();
}

StepResult enterFolder(HANDLE parent, const wchar_t* name, ScopedHandle& out) {
  // No folder option on the open: whatever is there is opened and judged.
  // Held without sharing delete, so that it stays under its name while it
  // is used; someone else holding it so makes the open fail.
  bool made = false;
  LONG s = openRelative(parent, name, kFolderAccess, kShareNoDelete, kOpenExisting, 0, nullptr, out);
  if (statusNotFound(s)) {
    StepResult created = createFolder(parent, name, out);
    if (created != StepResult::Done) return created;
    made = true;
  } else if (!statusOk(s)) {
    return StepResult::Refused;
  }

  EntryFacts facts;
  if (!gatherFacts(out.h, parent, name, facts)) return StepResult::Refused;
  if (!made) gatherSecurity(out.h, facts);
  switch (decideFolder(facts, made)) {
    case FolderAction::Use:
      return StepResult::Done;
    case FolderAction::MoveAside: {
      if (!moveAside(out.h, parent, name)) return StepResult::Refused;
      out.close();
      // The new folder is this run's: made with the guarded list, it was
      // never open to anyone else. It is checked like any other, so that a
      // handle that is not the entry of that name is not used.
      if (createFolder(parent, name, out) != StepResult::Done || !gatherFacts(out.h, parent, name, facts) ||
          decideFolder(facts, true) != FolderAction::Use)
        return StepResult::Refused;
      return StepResult::Done;
    }
    case FolderAction::GiveUp:
      break;
  }
  return StepResult::Refused;
}

StepResult placeFile(HANDLE folder, const wchar_t* name, HANDLE source) {
  ScopedHandle file;
  bool present = true;
  // Opening does not write: what is there is judged before anything is.
  LONG s = openRelative(folder, name, kFileAccess, FILE_SHARE_READ, kOpenExisting, 0, nullptr, file);
  if (statusNotFound(s))
    present = false;
  else if (!statusOk(s))
    return StepResult::Refused;

  if (present) {
    EntryFacts facts;
    if (!gatherFacts(file.h, folder, name, facts)) return StepResult::Refused;
    switch (decideFile(facts)) {
      case FileAction::Overwrite:
        if (source == INVALID_HANDLE_VALUE) return StepResult::Done;
        return copyInto(file.h, source) ? StepResult::Done : StepResult::Failed;
      case FileAction::Replace:
        // The handle holds the link or this one name of the file: deleting
        // through it removes that name only. The name is gone once the
        // handle is closed.
        if (!markForDelete(file.h)) return StepResult::Refused;
        file.close();
        break;
      case FileAction::GiveUp:
        return StepResult::Refused;
    }
  }
  if (source == INVALID_HANDLE_VALUE) return StepResult::Failed;

  // A new file, made only where no name is: a name that has come back (or a
  // link to nowhere, which the open above could not find) makes this fail.
  // The folder's guarded list is inherited.
  s = openRelative(folder, name, kFileAccess, FILE_SHARE_READ, kCreateNew, kNonDirectoryFile, nullptr, file);
  if (!statusOk(s)) return statusNotFound(s) ? StepResult::Failed : StepResult::Refused;
  return copyInto(file.h, source) ? StepResult::Done : StepResult::Failed;
}
