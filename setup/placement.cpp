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

}  // namespace

FolderAction decideFolder(const EntryFacts& facts) {
  // A link in place of a folder is never followed and never removed: only
  // someone who could also have put a plain file there made it, and either
  // one simply keeps the setting from being placed.
  if (!facts.heldItself || facts.reparsePoint || !facts.directory) return FolderAction::GiveUp;
  if (facts.owner != OwnerKind::Trusted || facts.othersMayChange) return FolderAction::ResetThenUse;
  return FolderAction::Use;
}

FileAction decideFile(const EntryFacts& facts) {
  if (!facts.heldItself) return FileAction::GiveUp;
  if (facts.reparsePoint || facts.linkCount > 1) return FileAction::Replace;
  if (facts.directory) return FileAction::GiveUp;
  return FileAction::Overwrite;
}

bool folderAclLetsOthersChange(bool hasList, const AceFacts* aces, size_t count) {
  if (!hasList) return true;
  for (size_t i = 0; i < count; ++i) {
    const AceFacts& a = aces[i];
    if (a.allows && !a.inheritOnly && !a.trustedSid && (a.mask & kFolderChangeRights) != 0) return true;
  }
  return false;
}
