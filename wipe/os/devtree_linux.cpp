#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstring>

#include "wipe/os/devtree.h"

bool devTreeReadText(const std::string& path, std::string& text) {
  text.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  // Attributes are a line or a path: 4 KiB holds any of those read here.
  char buf[4096];
  ssize_t n = read(fd, buf, sizeof buf);
  close(fd);
  if (n < 0) return false;
  text.assign(buf, (size_t)n);
  return true;
}

bool devTreeReadLink(const std::string& path, std::string& target) {
  char buf[4096];
  ssize_t n = readlink(path.c_str(), buf, sizeof buf);
  if (n <= 0 || (size_t)n >= sizeof buf) return false;
  target.assign(buf, (size_t)n);
  return true;
}

bool devTreeList(const std::string& path, std::vector<std::string>& names) {
  names.clear();
  DIR* dir = opendir(path.c_str());
  if (!dir) return false;
  while (dirent* d = readdir(dir))
    if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0) names.push_back(d->d_name);
  closedir(dir);
  return true;
}

bool devTreeBackingDevice(const std::string& path, unsigned& major, unsigned& minor) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  major = ::major(st.st_dev);
  minor = ::minor(st.st_dev);
  return true;
}
