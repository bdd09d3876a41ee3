// Opens a file by its path the way the single-file form does: its folder,
// then the entry in it, then the file relative to the folder.
#pragma once

#include <string>

#include "wipe/os/os.h"

inline OsOpenResult openNamed(const std::string& path, OsDir& dir, OsFile& f) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  OsEntry e;
  if (!osOpenDirPath(folder.c_str(), true, dir) || !osLookup(dir, path.c_str() + folder.size(), e))
    return OsOpenResult::Failed;
  return osOpenFileAt(dir, e, f);
}
