#include "placement.h"

#include <gtest/gtest.h>

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

TEST(Placement, FolderIsUsedResetOrRefused) {
  struct Case {
    const char* name;
    EntryFacts facts;
    FolderAction expected;
  };
  const Case cases[] = {
      {"own folder, guarded", facts(kPlain, kFolder, kHeld, OwnerKind::Trusted, kGuarded, 1), FolderAction::Use},
      {"made by a user", facts(kPlain, kFolder, kHeld, OwnerKind::Other, kGuarded, 1), FolderAction::ResetThenUse},
      {"made by a user, open to all", facts(kPlain, kFolder, kHeld, OwnerKind::Other, kOpen, 1),
       FolderAction::ResetThenUse},
      {"own folder, users may add entries", facts(kPlain, kFolder, kHeld, OwnerKind::Trusted, kOpen, 1),
       FolderAction::ResetThenUse},
      {"junction held itself", facts(kLink, kFolder, kHeld, OwnerKind::Trusted, kGuarded, 1), FolderAction::GiveUp},
      {"link listed, target opened", facts(kLink, kFolder, kTarget, OwnerKind::Trusted, kGuarded, 1),
       FolderAction::GiveUp},
      {"target opened, no reparse anywhere", facts(kPlain, kFolder, kTarget, OwnerKind::Trusted, kGuarded, 1),
       FolderAction::GiveUp},
      {"file symbolic link", facts(kLink, kFile, kHeld, OwnerKind::Other, kOpen, 1), FolderAction::GiveUp},
      {"plain file in its place", facts(kPlain, kFile, kHeld, OwnerKind::Trusted, kGuarded, 1),
       FolderAction::GiveUp},
  };
  for (const Case& c : cases) EXPECT_EQ(decideFolder(c.facts), c.expected) << c.name;
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
