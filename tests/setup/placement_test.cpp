#include "placement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Facts as cfgsetup meets them. Wine follows a link even when asked not to,
// so there the handle holds the link's target: no reparse attribute on it,
// but not the entry of that name either.
constexpr bool kLink = true, kPlain = false;
constexpr bool kFolder = true, kFile = false;
constexpr bool kHeld = true, kTarget = false;
constexpr bool kOpen = true, kGuarded = false;

EntryFacts facts(bool reparse, bool directory, bool held, OwnerKind owner, bool othersMayChange, uint32_t links) {
  return EntryFacts{reparse, directory, held, owner, othersMayChange, links};
}

// A folder this run did not make is used only when it is already the
// trusted accounts' alone. Anything else someone else made is moved aside,
// never taken over: the documentation of IRP_MJ_CREATE says a handle keeps
// the access it was opened with when the access list changes afterwards,
// and a folder's owner may always open it with WRITE_DAC, so a reset in
// place would leave its maker a handle that can put their list back.
TEST(Placement, FolderIsUsedMovedAsideOrRefused) {
  struct Case {
    const char* name;
    EntryFacts facts;
    bool madeByThisRun;
    FolderAction expected;
  };
  constexpr bool kMade = true, kFound = false;
  const Case cases[] = {
      {"own folder, guarded", facts(kPlain, kFolder, kHeld, OwnerKind::Trusted, kGuarded, 1), kFound,
       FolderAction::Use},
      {"made by a user, who may hold a WRITE_DAC handle from before",
       facts(kPlain, kFolder, kHeld, OwnerKind::Other, kGuarded, 1), kFound, FolderAction::MoveAside},
      {"made by a user, open to all", facts(kPlain, kFolder, kHeld, OwnerKind::Other, kOpen, 1), kFound,
       FolderAction::MoveAside},
      {"own folder, users may add entries or rewrite the list",
       facts(kPlain, kFolder, kHeld, OwnerKind::Trusted, kOpen, 1), kFound, FolderAction::MoveAside},
      {"made by this run, owner read as someone else's", facts(kPlain, kFolder, kHeld, OwnerKind::Other, kOpen, 1),
       kMade, FolderAction::Use},
      {"made by this run, but the handle is not the entry", facts(kPlain, kFolder, kTarget, OwnerKind::Trusted,
       kGuarded, 1), kMade, FolderAction::GiveUp},
      {"junction held itself", facts(kLink, kFolder, kHeld, OwnerKind::Trusted, kGuarded, 1), kFound,
       FolderAction::GiveUp},
      {"junction of a user's", facts(kLink, kFolder, kHeld, OwnerKind::Other, kOpen, 1), kFound,
       FolderAction::GiveUp},
      {"link listed, target opened", facts(kLink, kFolder, kTarget, OwnerKind::Trusted, kGuarded, 1), kFound,
       FolderAction::GiveUp},
      {"target opened, no reparse anywhere", facts(kPlain, kFolder, kTarget, OwnerKind::Trusted, kGuarded, 1), kFound,
       FolderAction::GiveUp},
      {"file symbolic link", facts(kLink, kFile, kHeld, OwnerKind::Other, kOpen, 1), kFound, FolderAction::GiveUp},
      {"plain file in its place", facts(kPlain, kFile, kHeld, OwnerKind::Trusted, kGuarded, 1), kFound,
       FolderAction::GiveUp},
  };
  for (const Case& c : cases) EXPECT_EQ(decideFolder(c.facts, c.madeByThisRun), c.expected) << c.name;
}

TEST(Placement, FileIsOverwrittenReplacedOrRefused) {
  struct Case {
    const char* name;
    EntryFacts facts;
    FileAction expected;
  };
  const Case cases[] = {
      {"plain file", facts(kPlain, kFile, kHeld, OwnerKind::Trusted, kOpen, 1), FileAction::Overwrite},
      {"plain file of a user's", facts(kPlain, kFile, kHeld, OwnerKind::Other, kOpen, 1), FileAction::Overwrite},
      {"symbolic link held itself", facts(kLink, kFile, kHeld, OwnerKind::Other, kOpen, 1), FileAction::Replace},
      {"hard link", facts(kPlain, kFile, kHeld, OwnerKind::Trusted, kOpen, 2), FileAction::Replace},
      {"directory link held itself", facts(kLink, kFolder, kHeld, OwnerKind::Other, kOpen, 1), FileAction::Replace},
      {"link followed to its target", facts(kPlain, kFile, kTarget, OwnerKind::Trusted, kOpen, 1),
       FileAction::GiveUp},
      {"hard link, but another name opened", facts(kPlain, kFile, kTarget, OwnerKind::Trusted, kOpen, 3),
       FileAction::GiveUp},
      {"real folder in its place", facts(kPlain, kFolder, kHeld, OwnerKind::Trusted, kGuarded, 1),
       FileAction::GiveUp},
  };
  for (const Case& c : cases) EXPECT_EQ(decideFile(c.facts), c.expected) << c.name;
}

// What the uninstaller's helper does with Korvanel, Ostrel (folders) and
// config.cfg (a file). Owners do not count: what is removed is a name in
// our folders, never contents another name holds.
TEST(Placement, UninstallRemovesOnlyWhatItHolds) {
  struct Case {
    const char* name;
    EntryFacts facts;
    bool folderExpected;
    RemovalAction expected;
  };
  constexpr bool kWantFolder = true, kWantFile = false;
  const Case cases[] = {
      {"our folder", facts(kPlain, kFolder, kHeld, OwnerKind::Trusted, kGuarded, 1), kWantFolder,
       RemovalAction::EmptyThenRemove},
      {"a folder of a user's", facts(kPlain, kFolder, kHeld, OwnerKind::Other, kOpen, 1), kWantFolder,
       RemovalAction::EmptyThenRemove},
      {"junction held itself: the name goes", facts(kLink, kFolder, kHeld, OwnerKind::Other, kOpen, 1), kWantFolder,
       RemovalAction::Remove},
      {"link followed to its target", facts(kLink, kFolder, kTarget, OwnerKind::Trusted, kGuarded, 1), kWantFolder,
       RemovalAction::Leave},
      {"another folder opened, no reparse anywhere", facts(kPlain, kFolder, kTarget, OwnerKind::Trusted, kGuarded, 1),
       kWantFolder, RemovalAction::Leave},
      {"a file where the folder belongs", facts(kPlain, kFile, kHeld, OwnerKind::Trusted, kGuarded, 1), kWantFolder,
       RemovalAction::Leave},
      {"config.cfg", facts(kPlain, kFile, kHeld, OwnerKind::Trusted, kOpen, 1), kWantFile, RemovalAction::Remove},
      {"config.cfg with other names: this one goes", facts(kPlain, kFile, kHeld, OwnerKind::Other, kOpen, 3),
       kWantFile, RemovalAction::Remove},
      {"symbolic link held itself", facts(kLink, kFile, kHeld, OwnerKind::Other, kOpen, 1), kWantFile,
       RemovalAction::Remove},
      {"file link followed to its target", facts(kPlain, kFile, kTarget, OwnerKind::Trusted, kOpen, 1), kWantFile,
       RemovalAction::Leave},
      {"a folder named config.cfg", facts(kPlain, kFolder, kHeld, OwnerKind::Trusted, kGuarded, 1), kWantFile,
       RemovalAction::Leave},
  };
  for (const Case& c : cases) EXPECT_EQ(decideRemoval(c.facts, c.folderExpected), c.expected) << c.name;
}

TEST(Placement, AsideNameFitsOrIsRefused) {
  struct Case {
    const wchar_t* name;
    unsigned number;
    size_t capacity;
    const wchar_t* expected;  // null: refused
  };
  const Case cases[] = {
      {L"Korvanel", 1, 260, L"Korvanel.untrusted-1"},
      {L"Ostrel", 100, 260, L"Ostrel.untrusted-100"},
      {L"Ostrel", 4294967295u, 260, L"Ostrel.untrusted-4294967295"},
      {L"Ostrel", 7, 20, L"Ostrel.untrusted-7"},  // 18 characters and the terminator
      {L"Ostrel", 70, 20, L"Ostrel.untrusted-70"},
      {L"Ostrel", 700, 20, nullptr},
      {L"Ostrel", 1, 0, nullptr},
  };
  for (const Case& c : cases) {
    wchar_t out[300];
    for (wchar_t& w : out) w = L'#';
    bool fitted = asideName(c.name, c.number, out, c.capacity);
    EXPECT_EQ(fitted, c.expected != nullptr) << c.number << " in " << c.capacity;
    if (c.expected && fitted) {
      EXPECT_EQ(std::wstring(out), std::wstring(c.expected)) << c.number;
    }
    // Nothing is written past the capacity, whatever the outcome.
    EXPECT_EQ(out[c.capacity], L'#') << c.number << " in " << c.capacity;
  }
}

// Access masks as Windows spells them.
constexpr uint32_t kFullControl = 0x1F01FF;
constexpr uint32_t kReadExecute = 0x1200A9;
constexpr uint32_t kCreateEntries = 0x116;  // add file, add folder, write attributes and extended attributes
constexpr uint32_t kWriteDac = 0x40000, kDelete = 0x10000, kDeleteChild = 0x40, kGenericWrite = 0x40000000;

TEST(Placement, FolderListLetsOthersChange) {
  struct Case {
    const char* name;
    bool hasList;
    std::vector<AceFacts> aces;
    bool expected;
  };
  const AceFacts adminsFull = {true, false, kFullControl, true}, systemFull = adminsFull;
  const AceFacts usersRead = {true, false, kReadExecute, false};
  const Case cases[] = {
      {"no list at all", false, {}, true},
      {"empty list", true, {}, false},
      {"guarded list", true, {adminsFull, systemFull, usersRead}, false},
      {"inherited from the application-data folder", true, {adminsFull, usersRead, {true, false, kCreateEntries, false}},
       true},
      {"creator owner, for children only", true, {adminsFull, {true, true, kFullControl, false}}, false},
      {"users may rewrite the list", true, {adminsFull, {true, false, kWriteDac, false}}, true},
      {"users may delete the folder", true, {{true, false, kDelete, false}}, true},
      {"everyone may delete children", true, {{true, false, kDeleteChild, false}}, true},
      {"generic write", true, {{true, false, kGenericWrite, false}}, true},
      {"denied to users", true, {{false, false, kFullControl, false}, adminsFull}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(folderAclLetsOthersChange(c.hasList, c.aces.data(), c.aces.size()), c.expected) << c.name;
}

}  // namespace
