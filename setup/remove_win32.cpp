// cfgremove: removes what cfgsetup placed, for the uninstaller.
//
// config.cfg in <common application data>\Korvanel\Ostrel, then Ostrel and
// Korvanel when that leaves them empty. Every user may create entries in
// the application-data folder, so, as cfgsetup places them, they are
// removed through handles only: each name is opened relative to the handle
// of the folder before it without following a link, checked to be the
// entry of that name, and deleted through its own handle. A link in place
// of any of them is removed as a name, never followed; an entry the handle
// does not hold itself (Wine opens a link through to its target) is left
// alone; nothing else is removed.
//
// Just before each delete the whole chain of names is checked once more
// against the listings (stillListed): on Windows the folders are held
// without sharing delete and cannot be renamed meanwhile, but Wine deletes
// by the path a handle was opened by, and a folder swapped for a link since
// would lead that path elsewhere.
//
// No window, no console, no arguments (any are ignored). Exit code: 0 when
// nothing of ours is left, or only a folder that still holds entries of
// others; 1 when something was refused (a link that could not be removed as
// a name, an entry that was not what it had to be, a change under it).

#include <windows.h>

#include <shlobj.h>

#include "handles_win32.h"

namespace {

enum class Removal {
  Gone,      // the entry is not there (any more)
  NotEmpty,  // a folder of ours that still holds entries of others: left, as it should be
  Refused,   // left because it was not what it had to be, or could not be removed
};

// The names held open from the application-data folder down, for the check
// before each delete.
struct Level {
  HANDLE entry;
  HANDLE parent;
  const wchar_t* name;
  bool link;  // a link held itself, removed as a name: its listing shows a reparse point
};
Level chain[3];
int depth = 0;

bool chainIntact() {
  for (int i = 0; i < depth; ++i)
    if (!stillListed(chain[i].entry, chain[i].parent, chain[i].name, chain[i].link)) return false;
  return true;
}

// The values are in order of how much was left.
Removal worse(Removal a, Removal b) { return a > b ? a : b; }

// Deletes the entry h holds, name in parent, once the chain above it is
// checked; Gone only when the name is no longer there afterwards (another
// handle that shares deleting keeps it until it closes).
Removal deleteHeld(ScopedHandle& h, HANDLE parent, const wchar_t* name, bool folder) {
  if (!chainIntact()) return Removal::Refused;
  if (!markForDelete(h.h))
    return folder && GetLastError() == ERROR_DIR_NOT_EMPTY ? Removal::NotEmpty : Removal::Refused;
  h.close();
  ScopedHandle again;
  return statusNotFound(openRelative(parent, name, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kOpenExisting, 0,
                                     nullptr, again))
             ? Removal::Gone
             : Removal::Refused;
}

// Removes `name` of `parent`: a file (folderExpected false) or a folder
// whose own entry `inner` (null: none) is removed first.
Removal removeEntry(HANDLE parent, const wchar_t* name, bool folderExpected, const wchar_t* const* inner) {
  ScopedHandle h;
  ACCESS_MASK access =
      DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE | (folderExpected ? FILE_LIST_DIRECTORY | FILE_TRAVERSE : 0);
  LONG s = openRelative(parent, name, access, kShareNoDelete, kOpenExisting, 0, nullptr, h);
  if (statusNotFound(s)) return Removal::Gone;
  EntryFacts facts;
  if (!statusOk(s) || !gatherFacts(h.h, parent, name, facts)) return Removal::Refused;
  RemovalAction action = decideRemoval(facts, folderExpected);
  if (action == RemovalAction::Leave) return Removal::Refused;
  chain[depth++] = Level{h.h, parent, name, facts.reparsePoint};
  Removal contents = Removal::Gone;
  if (action == RemovalAction::EmptyThenRemove && inner && *inner)
    contents = removeEntry(h.h, *inner, inner[1] != nullptr, inner + 1);
  Removal result = contents == Removal::Refused ? Removal::Refused : deleteHeld(h, parent, name, folderExpected);
  --depth;
  return worse(contents, result);
}

}  // namespace

int wmain(int, wchar_t**, wchar_t**) {
  wchar_t base[MAX_PATH];
  // No create flag: a system without the folder holds nothing of ours.
  if (!SHGetSpecialFolderPathW(nullptr, base, CSIDL_COMMON_APPDATA, FALSE)) return 0;
  enableBackupPrivileges();
  ScopedHandle folder;
  folder.h = CreateFileW(base, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (!folder.isOpen()) return 0;
  // Korvanel, then Ostrel in it, then config.cfg in that.
  static const wchar_t* const inner[] = {L"Ostrel", L"config.cfg", nullptr};
  return removeEntry(folder.h, L"Korvanel", true, inner) == Removal::Refused ? 1 : 0;
}
