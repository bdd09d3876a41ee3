// POSIX implementation of os.h: the Linux build of Korwipe.
//
// Same behaviour as the Windows build where Linux has the same notion: "/"
// separators; patterns matched with * and ? against every name, dot names
// included, case-sensitively; read-only meaning "no write permission for the
// owner"; the question read from /dev/tty in raw mode; a rename that never
// replaces an existing file.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "os.h"
#include "os_testhooks.h"
#include "paths.h"

bool osIsSeparator(char c) { return c == '/'; }
char osSeparator() { return '/'; }
size_t osCharLength(const char*) { return 1; }

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

// ---- files ----------------------------------------------------------------

OsNameKind osNameKind(const char* path) {
  struct stat st;
  if (lstat(path, &st) != 0) return OsNameKind::Missing;
  if (S_ISLNK(st.st_mode)) {
    // A symbolic link has no kind of its own: it stands for a directory when
    // its target is one. A dangling link (or a loop) stands for nothing and
    // counts as a link to a file, removed as a name.
    struct stat target;
    return stat(path, &target) == 0 && S_ISDIR(target.st_mode) ? OsNameKind::DirectoryLink : OsNameKind::FileLink;
  }
  if (S_ISDIR(st.st_mode)) return OsNameKind::Directory;
  return OsNameKind::File;
}

void osClearReadOnly(const char* path) {
  struct stat st;
  if (lstat(path, &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR))
    chmod(path, (st.st_mode & 07777) | S_IWUSR);
}

void OsFile::close() {
  if (handle >= 0) ::close((int)handle);
  handle = -1;
}

OsOpenResult osOpenForUpdate(const char* path, OsFile& f) {
  // O_NOFOLLOW: a link swapped in after the caller looked is still refused.
  // O_NONBLOCK: a FIFO must not hang the open; only regular files are kept.
  int fd = open(path, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ELOOP ? OsOpenResult::IsLink : OsOpenResult::Failed;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return OsOpenResult::Failed;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  f.close();
  f.handle = fd;
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

bool osFlush(OsFile& f) {
  if (fsync((int)f.handle) != 0) return false;
  testSnapshot(f);
  return true;
}

bool osMoveNoReplace(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without the flag: a hard link fails on an existing name
  // just as the rename should.
  if (link(from, to) != 0) return false;
  if (unlink(from) != 0) {
    unlink(to);
    return false;
  }
  return true;
}

bool osDeleteFile(const char* path) { return unlink(path) == 0; }
bool osRemoveLink(const char* path) { return unlink(path) == 0; }
bool osRemoveDirectory(const char* path) { return rmdir(path) == 0; }

// ---- search ---------------------------------------------------------------

namespace {
struct PosixSearch {
  DIR* dir = nullptr;
  std::string dirPart;  // as given, with its trailing separator, or empty
  std::string namePattern;
};
}  // namespace

bool OsSearch::first(const char* pattern, OsFindEntry& e) {
  close();
  size_t dirLength = dirPartLength(pattern);
  PosixSearch* s = new PosixSearch;
  s->dirPart.assign(pattern, dirLength);
  s->namePattern = pattern + dirLength;
  state = s;
  if (s->namePattern.empty()) return false;
  s->dir = opendir(s->dirPart.empty() ? "." : s->dirPart.c_str());
  if (!s->dir) return false;
  return next(e);
}

bool OsSearch::next(OsFindEntry& e) {
  PosixSearch* s = static_cast<PosixSearch*>(state);
  if (!s || !s->dir) return false;
  while (dirent* d = readdir(s->dir)) {
    size_t n = std::strlen(d->d_name);
    if (n >= sizeof e.name || !matchName(s->namePattern.c_str(), d->d_name)) continue;
    std::memcpy(e.name, d->d_name, n + 1);
    std::string full = s->dirPart + d->d_name;
    struct stat st;
    if (lstat(full.c_str(), &st) != 0) continue;  // gone since the listing was read
    e.isLink = S_ISLNK(st.st_mode);
    // A link to a directory counts as a directory, as a junction does on
    // Windows: the file forms skip it, the walks remove it as a name.
    struct stat target;
    e.isDirectory = S_ISDIR(st.st_mode) || (e.isLink && stat(full.c_str(), &target) == 0 && S_ISDIR(target.st_mode));
    return true;
  }
  return false;
}

void OsSearch::close() {
  PosixSearch* s = static_cast<PosixSearch*>(state);
  if (s) {
    if (s->dir) closedir(s->dir);
    delete s;
  }
  state = nullptr;
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

#ifdef KOR_WIPE_TEST_HOOKS
bool osReadAt(OsFile& f, uint64_t offset, unsigned char* data, size_t n) {
  while (n > 0) {
    ssize_t r = pread((int)f.handle, data, n, (off_t)offset);
    if (r <= 0) return false;
    data += r;
    offset += (uint64_t)r;
    n -= (size_t)r;
  }
  return true;
}
#endif
