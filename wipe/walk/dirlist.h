// DirList: directories collected before they are erased, in the order found.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wipe/erase/batch.h"
#include "wipe/os/os.h"

// The directories of one folder, kept packed: the folder's path once, and
// for each directory its identity and its name, the names one after the
// other in one buffer. A folder of 200,000 subdirectories then holds about
// 30 bytes a directory plus its name, where a record of fixed path buffers
// (and a listed entry) took over 550.
struct DirList {
  struct Node {
    OsFileId id;
    uint32_t nameAt;  // where the name starts in names, 0-terminated
    bool mountRoot;   // a directory the user named may be a mount root: opened as listed
  };
  std::string folder;  // the path every directory's path starts with, separator included
  std::vector<Node> nodes;
  std::string names;

  // Appends directory e (listed in folder) at the end. False when its path,
  // folder and name, would not fit in kPathMax; the list is then unchanged.
  bool append(const OsEntry& e);
  // Calls eraseDirectory on every directory, first to last, with parent the
  // open directory they were all listed in, never stopping early; each
  // removal counts in tally when counted (dirwalk.h).
  void eraseAll(const DirRef& parent, EraseTally& tally, bool counted) const;
  void clear();
  bool empty() const { return nodes.empty(); }
};
