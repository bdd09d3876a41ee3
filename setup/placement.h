// What cfgsetup, and the helper the uninstaller runs, do with each entry on
// the way to config.cfg, decided from facts about the entry: portable, so
// that the rules are tested on every build with made-up owners and
// attributes (Wine keeps no real owners).
//
// The Windows build gathers the facts through the handle it opened on the
// entry (handles_win32.cpp) and acts on that same handle.
#pragma once

#include <cstddef>
#include <cstdint>

// Who owns an entry. Trusted: Administrators, SYSTEM, TrustedInstaller, or
// the administrator running the program (whose own folders are no one
// else's to misuse). Anyone else, and an owner that could not be read, is
// Other.
enum class OwnerKind { Trusted, Other };

// What the handle opened on a name shows about the entry.
struct EntryFacts {
  bool reparsePoint;     // the entry, as its handle or its folder's listing shows it, is a reparse point
  bool directory;
  bool heldItself;       // the handle is the entry of that name (the listing shows the handle's file and its
                         // path is the folder's path and the name), not whatever a link there leads to
  OwnerKind owner;
  bool othersMayChange;  // its access list lets accounts other than the trusted ones add or remove entries,
                         // delete it, or change its owner or access list
  uint32_t linkCount;    // names the file has (hard links)
};

// Results of decideFolder.
enum class FolderAction {
  Use,        // a real folder this run made, or one owned and guarded by the trusted accounts: place inside it
  MoveAside,  // a real folder someone else made or may change: rename it out of the way through its handle and
              // make the folder anew with the guarded access list from the start. Never adopted in place: its
              // owner may hold a handle opened before, with the right to change its access list, and such a
              // handle keeps the access it was opened with whatever the list says later
  GiveUp,     // a link, not a folder, or not what was opened: place nothing, grant nothing
};

// madeByThisRun: the handle is the one this run created the folder through,
// with the guarded security.
FolderAction decideFolder(const EntryFacts& facts, bool madeByThisRun);

// Results of decideFile, for an existing config.cfg.
enum class FileAction {
  Overwrite,  // a plain file with one name: overwrite it through the handle
  Replace,    // a link or a file with other names: remove this name through the handle (the link itself,
              // never what it leads to) and create a new file
  GiveUp,     // a folder, or a link the handle does not hold itself (removing through such a handle
              // would remove what it leads to): place nothing, grant nothing
};

// The file's owner and access list do not count: the Users group is given
// change access to it anyway, and its folder is what keeps it in place.
FileAction decideFile(const EntryFacts& facts);

// Results of decideRemoval, for the uninstaller's Korvanel, Ostrel and
// config.cfg.
enum class RemovalAction {
  EmptyThenRemove,  // our real folder: remove what of ours it holds, then the folder itself if that left it empty
  Remove,           // config.cfg, or a link in place of any of the three: delete this name through the handle
                    // that holds it (a link goes as a name, what it leads to stays; other hard links keep the
                    // contents)
  Leave,            // not what the handle holds, or a folder where a file belongs (or a file where a folder
                    // does): not ours, left alone
};

RemovalAction decideRemoval(const EntryFacts& facts, bool folderExpected);

// One access entry of a folder's access list, as the decision needs it.
struct AceFacts {
  bool allows;       // an access-allowed entry (denying entries only take rights away)
  bool inheritOnly;  // applies to the folder's children only, not to the folder
  uint32_t mask;     // the access rights (Windows ACCESS_MASK)
  bool trustedSid;   // the entry names a trusted account (as OwnerKind::Trusted)
};

// True when an access list lets anyone but the trusted accounts change a
// folder's entries or its security. A folder without an access list (null
// DACL) lets everyone do everything: pass hasList false.
bool folderAclLetsOthersChange(bool hasList, const AceFacts* aces, size_t count);

// The name a folder of cfgsetup's is moved aside to: name, ".untrusted-",
// then number (1, 2, ...), into out of capacity characters including the
// terminator. False when it does not fit.
bool asideName(const wchar_t* name, unsigned number, wchar_t* out, size_t capacity);
