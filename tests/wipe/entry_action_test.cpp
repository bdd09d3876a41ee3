#include <gtest/gtest.h>

#include <cstring>

#include "wipe/erase/entry_action.h"

namespace {
OsEntry entry(OsNameKind kind, const char* name = "x", bool usable = true) {
  OsEntry e;
  std::strcpy(e.name, name);
  e.kind = kind;
  e.usable = usable;
  return e;
}
}  // namespace

// What each form and the walk do with each kind of entry. The rows say why:
// a link is never written through nor entered, and a form never takes
// something it was not asked for.
TEST(EntryAction, OneDecisionForEveryFormAndTheWalk) {
  using K = OsNameKind;
  using C = EntryContext;
  using A = EntryAction;
  struct Case {
    const char* why;
    OsEntry e;
    C where;
    A action;
  } cases[] = {
      {"a file named or matched", entry(K::File), C::FileForm, A::EraseFile},
      {"a link to a file named: only the link goes", entry(K::FileLink), C::FileForm, A::RemoveLink},
      {"a directory is no file", entry(K::Directory), C::FileForm, A::Skip},
      {"a link to a directory is no file either", entry(K::DirectoryLink), C::FileForm, A::Skip},
      {"gone since listed: the open reports it", entry(K::Missing), C::FileForm, A::EraseFile},
      {"a directory matched by -d", entry(K::Directory), C::DirectoryForm, A::EraseTree},
      {"-d never walks into a link", entry(K::DirectoryLink), C::DirectoryForm, A::Skip},
      {"-d takes no files", entry(K::File), C::DirectoryForm, A::Skip},
      {"-d takes no links to files", entry(K::FileLink), C::DirectoryForm, A::Skip},
      {"a file in a tree", entry(K::File), C::Tree, A::EraseFile},
      {"a subdirectory of a tree", entry(K::Directory), C::Tree, A::EraseTree},
      {"a link in a tree goes as a name", entry(K::FileLink), C::Tree, A::RemoveLink},
      {"a directory link in a tree goes as a name, not entered", entry(K::DirectoryLink), C::Tree, A::RemoveLink},
      {"\".\" in a tree", entry(K::Directory, "."), C::Tree, A::Skip},
      {"\"..\" matched by -d .*", entry(K::Directory, ".."), C::DirectoryForm, A::Skip},
      {"\"..\" named as a file", entry(K::Directory, ".."), C::FileForm, A::Skip},
      {"\"...\" is a name like any other", entry(K::Directory, "..."), C::Tree, A::EraseTree},
      {"an unusable name shown as \"..\" is no dot name", entry(K::Directory, "..", false), C::Tree, A::EraseTree},
  };
  for (const Case& c : cases)
    EXPECT_EQ((int)entryAction(c.e, c.where), (int)c.action) << c.why;
}
