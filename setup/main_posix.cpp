// cfgsetup for Linux: places the shared settings file and opens it to the
// users group.
//
// Copies "Tavisk Sleeper.ini" from the program's own folder to
// <root>/Korvanel/Ostrel/config.cfg (creating both folders), then adds an
// entry for the group "users" with read and write access to the file's access
// list (POSIX ACL), keeping the entries already there. The root is /etc; the
// test build names it in an environment variable instead, so that tests never
// touch the machine's /etc. Silent, exit code 0 whatever happens.

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "acl_grant.h"
#include "bounded_text.h"

namespace {

using PathText = BoundedText<char, PATH_MAX>;

// A file descriptor closed on every way out. Non-copyable.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

// The program's own path from /proc. Where /proc is not mounted (a system
// image being built in a chroot, whose package scripts start this program by
// its full path), the path it was started by, when that is absolute: the
// program runs with its caller's rights, so a caller naming another folder
// only places a copy of its own choosing.
void fetchOwnPath(PathText& path, const char* startedAs) {
  ssize_t n = readlink("/proc/self/exe", path.text, PathText::capacity);
  if (n > 0 && (size_t)n < PathText::capacity) {
    path.text[n] = '\0';
    path.acceptFilled();
  } else if (n < 0 && errno == ENOENT && startedAs && startedAs[0] == '/') {
    path.assign(startedAs);
  } else {
    path.invalidate();
  }
}

void fetchSettingsRoot(PathText& path) {
#ifdef KOR_SETUP_ROOT_ENV
  // Test build only: no variable, no root, so nothing is ever placed in /etc.
  const char* root = std::getenv(KOR_SETUP_ROOT_ENV);
  if (root && root[0])
    path.assign(root);
  else
    path.invalidate();
#else
  path.assign("/etc");
#endif
}

// True when the folder exists afterwards as a real folder, not a link to one:
// the copy is never written through a link.
bool makeFolder(const PathText& path) {
  if (!path.usable) return false;
  if (mkdir(path.text, 0755) == 0) return true;
  struct stat st;
  return errno == EEXIST && lstat(path.text, &st) == 0 && S_ISDIR(st.st_mode);
}

bool copyAll(int from, int to) {
  char buffer[65536];
  for (;;) {
    ssize_t n = read(from, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(to, buffer + done, (size_t)(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      done += w;
    }
  }
}

// Copies source to a fresh temporary file beside target and renames it over
// target, so readers see the old file or the whole new one, and a link named
// config.cfg is replaced rather than written through.
void copyReplacing(const PathText& source, PathText& temp, const PathText& target) {
  Fd in(open(source.text, O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (in.fd < 0 || fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
  Fd out(mkstemp(temp.text));
  if (out.fd < 0) return;
  bool ok = copyAll(in.fd, out.fd) && fchmod(out.fd, 0644) == 0 && fsync(out.fd) == 0;
  if (!ok || rename(temp.text, target.text) != 0) unlink(temp.text);
}

// Gives the users group read and write access to target, when it is a regular
// file (not a link) and the file system keeps access lists.
void grantUsersGroup(const PathText& target) {
  struct group* users = getgrnam("users");
  if (!users) return;
  Fd f(open(target.text, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st;
  if (f.fd < 0 || fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) return;

  const char* name = "system.posix_acl_access";
  std::vector<unsigned char> current;
  ssize_t size = fgetxattr(f.fd, name, nullptr, 0);
  if (size > 0) {
    current.resize((size_t)size);
    size = fgetxattr(f.fd, name, current.data(), current.size());
    if (size < 0) return;  // changed under us; the next run tries again
    current.resize((size_t)size);
  } else if (size < 0 && errno != ENODATA) {
    return;  // no access lists on this file system
  }

  std::vector<unsigned char> edited;
  if (grantGroupInAcl(current.data(), current.size(), st.st_mode & 07777, (uint32_t)users->gr_gid, 6, edited) ==
      kAclGranted)
    fsetxattr(f.fd, name, edited.data(), edited.size(), 0);
}

}  // namespace

int main(int, char** argv) {
  PathText source;
  fetchOwnPath(source, argv[0]);
  source.cutAfterLast('/');
  source.append("Tavisk Sleeper.ini");

  PathText folder;
  fetchSettingsRoot(folder);
  folder.append("/Korvanel");
  bool haveFolder = makeFolder(folder);
  folder.append("/Ostrel");
  haveFolder = makeFolder(folder) && haveFolder;

  PathText target;
  target.append(folder);
  target.append("/config.cfg");
  PathText temp;
  temp.append(target);
  temp.append(".XXXXXX");

  if (haveFolder && source.usable && temp.usable) copyReplacing(source, temp, target);
  if (haveFolder && target.usable) grantUsersGroup(target);
  return 0;
}
