#include "wipe/erase/entry_action.h"

EntryAction entryAction(const OsEntry& e, EntryContext where) {
  // "." and ".." name the directory itself and its parent, never an entry.
  if (e.usable && osIsDotName(e.name)) return EntryAction::Skip;
  switch (e.kind) {
    case OsNameKind::Directory:
      return where == EntryContext::FileForm ? EntryAction::Skip : EntryAction::EraseTree;
    case OsNameKind::DirectoryLink:
      return where == EntryContext::Tree ? EntryAction::RemoveLink : EntryAction::Skip;
    case OsNameKind::FileLink:
      return where == EntryContext::DirectoryForm ? EntryAction::Skip : EntryAction::RemoveLink;
    case OsNameKind::File:
    case OsNameKind::Missing:
      // Missing: gone since it was listed; the open says so.
      break;
  }
  return where == EntryContext::DirectoryForm ? EntryAction::Skip : EntryAction::EraseFile;
}
