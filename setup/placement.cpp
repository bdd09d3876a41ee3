#include "placement.h"

namespace {

// Rights on a folder that let their holder change what the folder holds or
// who may: add a file or folder, delete a child, delete or rename the folder
// itself, rewrite its access list or take it over; and the generic rights
// that include them.
constexpr uint32_t kFolderChangeRights = 0x00000002u    // FILE_ADD_FILE
                                         | 0x00000004u  // FILE_ADD_SUBDIRECTORY
                                         | 0x00000040u  // FILE_DELETE_CHILD
                                         | 0x00010000u  // DELETE
                                         | 0x00040000u  // WRITE_DAC
                                         | 0x00080000u  // WRITE_OWNER
                                         | 0x02000000u  // MAXIMUM_ALLOWED
                                         | 0x10000000u  // GENERIC_ALL
                                         | 0x40000000u;  // GENERIC_WRITE

bool isLinkOrOther(const EntryFacts& facts) { return !facts.heldItself || facts.reparsePoint; }

}  // namespace

FolderAction decideFolder(const EntryFacts& facts, bool madeByThisRun) {
  // A link in place of a folder is never followed and never moved: only
  // someone who could also have put a plain file there made it, and either
  // one simply keeps the setting from being placed.
  if (isLinkOrOther(facts) || !facts.directory) return FolderAction::GiveUp;
  // Made here with the guarded list from the start: no handle opened before
  // can reach it, whatever the system reports as its owner.
  if (madeByThisRun) return FolderAction::Use;
  if (facts.owner != OwnerKind::Trusted || facts.othersMayChange) return FolderAction::MoveAside;
  return FolderAction::Use;
}

FileAction decideFile(const EntryFacts& facts) {
  if (!facts.heldItself) return FileAction::GiveUp;
  if (facts.reparsePoint || facts.linkCount > 1) return FileAction::Replace;
  if (facts.directory) return FileAction::GiveUp;
  return FileAction::Overwrite;
}

RemovalAction decideRemoval(const EntryFacts& facts, bool folderExpected) {
  // Deleting through a handle that holds a link's target would delete the
  // target: only a handle on the entry of that name itself may delete.
  if (!facts.heldItself) return RemovalAction::Leave;
  if (facts.reparsePoint) return RemovalAction::Remove;
  if (facts.directory != folderExpected) return RemovalAction::Leave;
  return folderExpected ? RemovalAction::EmptyThenRemove : RemovalAction::Remove;
}

bool folderAclLetsOthersChange(bool hasList, const AceFacts* aces, size_t count) {
  if (!hasList) return true;
  for (size_t i = 0; i < count; ++i) {
    const AceFacts& a = aces[i];
    if (a.allows && !a.inheritOnly && !a.trustedSid && (a.mask & kFolderChangeRights) != 0) return true;
  }
  return false;
}

bool asideName(const wchar_t* name, unsigned number, wchar_t* out, size_t capacity) {
  static const wchar_t kTag[] = L".untrusted-";
  wchar_t digits[12];
  size_t n = 0;
  do {
    digits[n++] = (wchar_t)(L'0' + number % 10);
    number /= 10;
  } while (number != 0);
  size_t at = 0;
  auto put = [&](wchar_t c) {
    if (at + 1 >= capacity) return false;
    out[at++] = c;
    return true;
  };
  for (const wchar_t* p = name; *p; ++p)
    if (!put(*p)) return false;
  for (const wchar_t* p = kTag; *p; ++p)
    if (!put(*p)) return false;
  while (n > 0)
    if (!put(digits[--n])) return false;
  if (capacity == 0) return false;
  out[at] = L'\0';
  return true;
}
