// What cfgsetup does with each entry on the way to config.cfg, decided from
// facts about the entry: portable, so that the rules are tested on every
// build with made-up owners and attributes (Wine keeps no real owners).
//
// The Windows build gathers the facts through the handle it opened on the
// entry (place_win32.cpp) and acts on that same handle.
#pragma once

#include <cstddef>
#include <cstdint>

// Who owns an entry. Trusted: Administrators, SYSTEM or TrustedInstaller.
// Anyone else, and an owner that could not be read, is Other.
enum class OwnerKind { Trusted, Other };

// What the handle cfgsetup opened on a name shows about the entry.
struct EntryFacts {
  bool reparsePoint;     // the entry, as its handle or its folder's listing shows it, is a reparse point
  bool directory;
  bool heldItself;       // the handle is the entry of that name (its path is the folder's path and the
                         // name), not whatever a link there leads to
  OwnerKind owner;
  bool othersMayChange;  // its access list lets accounts other than the trusted ones add or remove entries,
                         // delete it, or change its owner or access list
  uint32_t linkCount;    // names the file has (hard links)
};

// Results of decideFolder.
enum class FolderAction {
  Use,           // a real folder, owned and guarded by the trusted accounts: place inside it
  ResetThenUse,  // a real folder owned or changeable by others: reset its owner and access list through the
                 // handle first, and place inside it only when that succeeded
  GiveUp,        // a link, not a folder, or not what was opened: place nothing, grant nothing
};

// Results of decideFile, for an existing config.cfg.
enum class FileAction {
  Overwrite,  // a plain file with one name: overwrite it through the handle
  Replace,    // a link or a file with other names: remove this name through the handle (the link itself,
              // never what it leads to) and create a new file
  GiveUp,     // a folder, or a link the handle does not hold itself (removing through such a handle
              // would remove what it leads to): place nothing, grant nothing
};

FolderAction decideFolder(const EntryFacts& facts);

// The file's owner and access list do not count: the Users group is given
// change access to it anyway, and its folder is what keeps it in place.
FileAction decideFile(const EntryFacts& facts);

// One access entry of a folder's access list, as the decision needs it.
struct AceFacts {
  bool allows;       // an access-allowed entry (denying entries only take rights away)
  bool inheritOnly;  // applies to the folder's children only, not to the folder
  uint32_t mask;     // the access rights (Windows ACCESS_MASK)
  bool trustedSid;   // the entry names Administrators, SYSTEM or TrustedInstaller
};

// True when an access list lets anyone but the trusted accounts change a
// folder's entries or its security. A folder without an access list (null
// DACL) lets everyone do everything: pass hasList false.
bool folderAclLetsOthersChange(bool hasList, const AceFacts* aces, size_t count);
