#include "wipe/walk/dirlist.h"

#include <cstring>

#include "wipe/names/paths.h"
#include "wipe/walk/dirwalk.h"

bool DirList::append(const OsEntry& e) {
  size_t n = std::strlen(e.name);
  if (folder.size() + n >= kPathMax) return false;
  nodes.push_back({e.id, (uint32_t)names.size(), e.mountRoot});
  names.append(e.name, n + 1);
  return true;
}

void DirList::eraseAll(const DirRef& parent, EraseTally& tally, bool counted) const {
  OsEntry e;
  e.kind = OsNameKind::Directory;
  char path[kPathMax];
  for (const Node& node : nodes) {
    const char* name = names.c_str() + node.nameAt;
    // Both fit: append checked the path, and the name is shorter.
    std::strcpy(e.name, name);
    e.id = node.id;
    e.mountRoot = node.mountRoot;
    joinPath(path, folder.c_str(), folder.size(), name);
    eraseDirectory(parent, e, path, tally, counted);
  }
}

void DirList::clear() {
  nodes.clear();
  nodes.shrink_to_fit();
  names.clear();
  names.shrink_to_fit();
}
