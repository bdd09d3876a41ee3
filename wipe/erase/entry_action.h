// What Korwipe does with an entry it meets: the one place that decides, by
// the entry's kind, what every form and the walk do with a file, a link or a
// directory.
#pragma once

#include "wipe/os/os.h"

// Who meets the entry.
enum class EntryContext {
  FileForm,       // named, or matched by a pattern, in a file form
  DirectoryForm,  // matched by the directory form's name or pattern
  Tree,           // listed inside a tree being erased; also any entry handed to the erase
};

enum class EntryAction {
  Skip,        // not this context's business (a named file that is skipped fails to open)
  EraseFile,   // overwritten, moved to the neutral name, deleted
  RemoveLink,  // removed as a name: writing through it would overwrite what the user did not name
  EraseTree,   // walked and removed, depth first
};

// A file form takes files and links to files; a directory is no file, and a
// link to one is refused too, since removing it would say done while the
// directory stays. The directory form takes real directories only, never a
// link: the walk would remove the link and leave what it leads to. Inside a
// tree every entry goes: directories are entered, links of either kind are
// removed as names. "." and ".." are skipped everywhere; an entry the
// listing could not name exactly is never taken for one of them.
EntryAction entryAction(const OsEntry& e, EntryContext where);
