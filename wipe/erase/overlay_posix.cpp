// Linux facts for overlay.h.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "wipe/erase/overlay.h"
#include "wipe/os/os.h"

const char* const kReasonLowerLayer = "overlay: its original stays in a lower layer";
const char* const kReasonMaybeLowerLayer = "overlay: its original may stay in a lower layer";

std::string readSystemText(const std::string& path) {
  std::string text;
  FILE* in = std::fopen(path.c_str(), "r");
  if (!in) return text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) text.append(buf, n);
  std::fclose(in);
  return text;
}

const char* overlayReasonForFile(OsFile& f) {
  const std::string self = "/proc/self/fdinfo/" + std::to_string((int)f.handle);
  std::string info = readSystemText(self);
  size_t at = info.find("mnt_id:");
  if (at == std::string::npos) return kReasonMaybeLowerLayer;
  unsigned mountId = (unsigned)std::strtoul(info.c_str() + at + 7, nullptr, 10);
  char path[4096];
  ssize_t n = readlink(("/proc/self/fd/" + std::to_string((int)f.handle)).c_str(), path, sizeof path);
  if (n <= 0 || (size_t)n >= sizeof path) return kReasonMaybeLowerLayer;
  std::vector<std::string> lowerRoots;
  std::string inside;
  if (!overlayLowerPaths(readSystemText("/proc/self/mountinfo"), mountId, std::string(path, (size_t)n), lowerRoots,
                         inside))
    return kReasonMaybeLowerLayer;
  for (const std::string& root : lowerRoots) {
    struct stat st;
    // A layer that cannot be seen here (another mount namespace) cannot
    // say that it holds nothing.
    if (lstat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kReasonMaybeLowerLayer;
    if (lstat((root + inside).c_str(), &st) == 0 && S_ISREG(st.st_mode)) return kReasonLowerLayer;
  }
  return nullptr;
}
