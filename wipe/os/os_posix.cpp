// POSIX implementation of os.h: the Linux build of Korwipe.
//
// Same behaviour as the Windows build where Linux has the same notion: "/"
// separators; patterns matched with * and ? against every name, dot names
// included, case-sensitively; read-only meaning "no write permission for the
// owner"; the question read from /dev/tty in raw mode; a rename that never
// replaces an existing file. Trees are worked through directory descriptors
// (openat, fstatat, unlinkat, renameat2 with O_NOFOLLOW), identities are
// device and inode.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "wipe/names/paths.h"
#include "wipe/os/os.h"
#include "wipe/os/testhooks.h"

OsUtcTime osUtcNow() {
  OsUtcTime t{};
  if (testClock(t)) return t;
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  return t;
}

bool osSettingsPath(char (&out)[kPathMax]) {
  const char* path = "/etc/Korvanel/Ostrel/config.cfg";
  if (testSettingsPath(path) && !path) return false;
  return joinPath(out, path, std::strlen(path), "");
}

// ---- files and directories -----------------------------------------------

static OsFileId idOf(const struct stat& st) {
  OsFileId id;
  id.volume = (uint64_t)st.st_dev;
  id.index = (uint64_t)st.st_ino;
  return id;
}

void OsDir::close() {
  if (handle >= 0) ::close((int)handle);
  handle = -1;
}

// Takes over descriptor fd as d; false (fd closed) unless it is a directory.
static bool adoptDir(int fd, OsDir& d) {
  struct stat st;
  if (fd < 0) return false;
  if (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  d.close();
  d.handle = fd;
  d.id = idOf(st);
  return true;
}

bool osOpenDirPath(const char* dirPart, bool lastMayBeLink, OsDir& d) {
  // Trailing slashes go: "link/" would make the system follow the link even
  // with O_NOFOLLOW. "/" stays the root.
  std::string path = *dirPart ? dirPart : ".";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (lastMayBeLink ? 0 : O_NOFOLLOW);
  return adoptDir(open(path.c_str(), flags), d);
}

OsDir* osCurrentDir() {
  static OsDir current;
  static bool tried = false;
  if (!tried) {
    tried = true;
    adoptDir(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), current);
  }
  return current.isOpen() ? &current : nullptr;
}

// Fills e for name in d, looked at without following a link. False when the
// name is gone (or does not fit).
static bool describe(int dirFd, const char* name, OsEntry& e) {
  size_t n = std::strlen(name);
  struct stat st;
  if (n >= sizeof e.name || fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  std::memcpy(e.name, name, n + 1);
  e.usable = true;
  e.id = idOf(st);
  e.size = S_ISREG(st.st_mode) ? (uint64_t)st.st_size : 0;
  if (S_ISLNK(st.st_mode)) {
    // A symbolic link has no kind of its own: it stands for a directory when
    // its target is one. A dangling link (or a loop) stands for nothing and
    // counts as a link to a file, removed as a name.
    struct stat target;
    e.kind = fstatat(dirFd, name, &target, 0) == 0 && S_ISDIR(target.st_mode) ? OsNameKind::DirectoryLink
                                                                               : OsNameKind::FileLink;
  } else {
    e.kind = S_ISDIR(st.st_mode) ? OsNameKind::Directory : OsNameKind::File;
  }
  return true;
}

bool osLookup(OsDir& d, const char* name, OsEntry& e) { return *name && describe((int)d.handle, name, e); }

namespace {
struct PosixListing {
  DIR* dir = nullptr;
  int dirFd = -1;  // the OsDir's own descriptor, for the lookups
  std::string namePattern;
  bool all = true;
};
}  // namespace

bool OsListing::first(OsDir& d, const char* namePattern, OsEntry& e) {
  close();
  // The stream gets a descriptor of its own (closedir closes it) on the same
  // open directory: the listing is of what d holds, not of a path.
  int fd = dup((int)d.handle);
  if (fd < 0) return false;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return false;
  }
  rewinddir(dir);
  PosixListing* s = new PosixListing;
  s->dir = dir;
  s->dirFd = (int)d.handle;
  s->all = namePattern == nullptr;
  if (namePattern) s->namePattern = namePattern;
  state = s;
  return next(e);
}

bool OsListing::next(OsEntry& e) {
  PosixListing* s = static_cast<PosixListing*>(state);
  if (!s || !s->dir) return false;
  while (dirent* d = readdir(s->dir)) {
    if (!s->all && !matchName(s->namePattern.c_str(), d->d_name)) continue;
    if (describe(s->dirFd, d->d_name, e)) return true;  // else gone since the listing was read
  }
  return false;
}

void OsListing::close() {
  PosixListing* s = static_cast<PosixListing*>(state);
  if (s) {
    if (s->dir) closedir(s->dir);
    delete s;
  }
  state = nullptr;
}

// True when name in dirFd is still the object id, looked at without
// following a link.
static bool stillIs(int dirFd, const char* name, const OsFileId& id, struct stat& st) {
  return fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && idOf(st) == id;
}

bool osOpenDirAt(OsDir& parent, const OsEntry& e, OsDir& out) {
  int fd = openat((int)parent.handle, e.name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  OsDir opened;
  if (!adoptDir(fd, opened) || !(opened.id == e.id)) return false;
  out.close();
  out.handle = opened.handle;
  out.id = opened.id;
  opened.handle = -1;
  return true;
}

bool osRemoveDirAt(OsDir& parent, const OsEntry& e, OsDir& dir) {
  OsFileId id = dir.id;
  dir.close();
  struct stat st;
  return stillIs((int)parent.handle, e.name, id, st) && S_ISDIR(st.st_mode) &&
         unlinkat((int)parent.handle, e.name, AT_REMOVEDIR) == 0;
}

bool osRemoveLinkAt(OsDir& d, const OsEntry& e) {
  struct stat st;
  return stillIs((int)d.handle, e.name, e.id, st) && S_ISLNK(st.st_mode) && unlinkat((int)d.handle, e.name, 0) == 0;
}

void OsFile::close() {
  if (handle >= 0) ::close((int)handle);
  handle = -1;
}

// A read-only file (no write permission for its owner) gets it, through a
// descriptor on the very object that was listed, never by path. O_PATH
// needs no permission at all; its /proc/self/fd name leads to that object
// alone. Without /proc the file simply stays read-only and fails to open.
static void clearReadOnly(int dirFd, const OsEntry& e) {
  int fd = openat(dirFd, e.name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && idOf(st) == e.id && !(st.st_mode & S_IWUSR)) {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    chmod(self, (st.st_mode & 07777) | S_IWUSR);
  }
  ::close(fd);
}

OsOpenResult osOpenFileAt(OsDir& d, const OsEntry& e, OsFile& f) {
  // O_NOFOLLOW: a link swapped in after the listing is still refused.
  // O_NONBLOCK: a FIFO must not hang the open; only regular files are kept.
  const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int dirFd = (int)d.handle;
  int fd = openat(dirFd, e.name, flags);
  if (fd < 0 && errno == EACCES) {
    clearReadOnly(dirFd, e);
    fd = openat(dirFd, e.name, flags);
  }
  if (fd < 0) return errno == ELOOP ? OsOpenResult::IsLink : OsOpenResult::Failed;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !(idOf(st) == e.id)) {
    ::close(fd);
    return OsOpenResult::Failed;
  }
  // O_NONBLOCK stays: it means nothing to a regular file.
  f.close();
  f.handle = fd;
  f.linkCount = (uint32_t)st.st_nlink;
  f.id = idOf(st);
  return OsOpenResult::Opened;
}

bool osFileLength(OsFile& f, uint64_t& length) {
  struct stat st;
  if (fstat((int)f.handle, &st) != 0) return false;
  length = (uint64_t)st.st_size;
  return true;
}

bool osSeekStart(OsFile& f) { return lseek((int)f.handle, 0, SEEK_SET) == 0; }

bool osWriteAll(OsFile& f, const unsigned char* data, size_t n) {
  while (n > 0) {
    ssize_t w = write((int)f.handle, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    data += w;
    n -= (size_t)w;
  }
  return true;
}

bool osFlush(OsFile& f) { return fsync((int)f.handle) == 0; }

int osFilesAtOnce() {
  // The walk holds a descriptor per directory level (at most kPathMax / 2)
  // and the batch its directories (kBatchDirectories): kept aside.
  const rlim_t reserve = 512, wanted = 4096 + reserve;
  struct rlimit lim;
  if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return 256;
  if (lim.rlim_cur < wanted && lim.rlim_cur < lim.rlim_max) {
    struct rlimit raised = lim;
    raised.rlim_cur = lim.rlim_max < wanted ? lim.rlim_max : wanted;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) lim = raised;
  }
  if (lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur >= wanted) return 4096;
  return lim.rlim_cur > reserve + 64 ? (int)(lim.rlim_cur - reserve) : 64;
}

// One fsync per file system flushes the device's cache for every write that
// has completed on it, but each file's own write-back errors are reported to
// that file alone (and once): so every file's write-back is started, then
// waited for on its own (sync_file_range), and only the final flush is
// shared. When that flush fails, the error may be any file's: each of the
// file system's files is then flushed on its own, which also issues the
// cache flush again. (syncfs would write everything back at once, but it
// reported nothing for a file whose blocks could not be written, nor did a
// wait on that file after it: measured on Linux 6.18.)
void osFlushGroup(OsFile* const* files, size_t n, bool* ok) {
  const unsigned start = SYNC_FILE_RANGE_WRITE;
  const unsigned wait = SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
  for (size_t i = 0; i < n; ++i) ok[i] = sync_file_range((int)files[i]->handle, 0, 0, start) == 0;
  for (size_t i = 0; i < n; ++i)
    if (ok[i]) ok[i] = sync_file_range((int)files[i]->handle, 0, 0, wait) == 0;
  std::vector<bool> done(n, false);
  for (size_t last = n; last-- > 0;) {
    if (done[last] || !ok[last]) continue;
    bool flushed = fsync((int)files[last]->handle) == 0;
    for (size_t i = 0; i <= last; ++i) {
      if (done[i] || files[i]->id.volume != files[last]->id.volume) continue;
      done[i] = true;
      if (!flushed) ok[i] = ok[i] && i != last && fsync((int)files[i]->handle) == 0;
    }
  }
}

bool osOpenNamedStreams(OsFile&, OsStreams& out) {
  out.files.reset();
  out.count = 0;
  return true;
}

bool osMoveToCurrentDir(OsDir& d, const OsEntry& e, OsFile& f, const char* to) {
  OsDir* current = osCurrentDir();
  struct stat st;
  if (!current || !stillIs((int)d.handle, e.name, f.id, st)) return false;
  int from = (int)d.handle, into = (int)current->handle;
  // Another file system: the rename fails (EXDEV) and the file is deleted
  // where it is; it is never copied.
  if (renameat2(from, e.name, into, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without the flag: a hard link fails on an existing name
  // just as the rename should.
  if (linkat(from, e.name, into, to, 0) != 0) return false;
  if (unlinkat(from, e.name, 0) != 0) {
    unlinkat(into, to, 0);
    return false;
  }
  return true;
}

bool osDeleteFileAt(OsDir& d, const char* name, OsFile& f) {
  // Only the name that still leads to the open file goes: one swapped in
  // since is someone else's.
  struct stat there;
  bool same = stillIs((int)d.handle, name, f.id, there);
  f.close();
  return same && unlinkat((int)d.handle, name, 0) == 0;
}

void osBeginFileWork() {}

// ---- command line ----------------------------------------------------------

int osArguments(int argc, char** argv, OsArgument* args, int capacity) {
  int count = argc > 1 ? argc - 1 : 0;
  for (int i = 0; i < count && i < capacity; ++i) args[i] = {argv[i + 1], true, hasWildcards(argv[i + 1])};
  return count;
}

// ---- console --------------------------------------------------------------

// The terminal stays raw from open() to close(), not only while a key is
// read: keys typed ahead between two reads would otherwise be echoed by the
// terminal itself and then once more by the question, showing twice.
static struct termios savedMode;

bool OsConsole::open() {
  close();
  int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  if (tcgetattr(fd, &savedMode) != 0) {
    ::close(fd);
    return false;
  }
  // No line editing, no echo by the terminal, and Ctrl-C is a key like any
  // other (as with the Windows console's raw mode).
  struct termios raw = savedMode;
  raw.c_lflag &= ~(tcflag_t)(ICANON | ECHO | ISIG | IEXTEN);
  raw.c_iflag &= ~(tcflag_t)(IXON | ICRNL | INLCR);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &raw) != 0) {
    ::close(fd);
    return false;
  }
  in = out = fd;
  return true;
}

int OsConsole::readKey(int& echo) {
  echo = -1;
  int fd = (int)in;
  unsigned char c = 0;
  ssize_t r;
  do r = read(fd, &c, 1);
  while (r < 0 && errno == EINTR);
  if (r == 1 && c == 0x1B) {
    // A cursor or function key arrives as an escape sequence: swallow the
    // rest of it so that it counts as one ignored key, not as letters.
    unsigned char rest[16];
    struct pollfd p = {fd, POLLIN, 0};
    while (poll(&p, 1, 30) == 1 && read(fd, rest, sizeof rest) > 0) {
    }
  }
  if (r != 1) return -1;
  // Control bytes are not echoed: on a terminal they would move the cursor
  // or start a sequence instead of showing the key.
  if (c >= 0x20 && c != 0x7F) echo = c;
  return c;
}

void OsConsole::echo(char c) {
  ssize_t ignored = write((int)out, &c, 1);
  (void)ignored;
}

void OsConsole::close() {
  if (in >= 0) {
    tcsetattr((int)in, TCSANOW, &savedMode);
    ::close((int)in);
  }
  in = out = -1;
  pendingCode = -1;
}
