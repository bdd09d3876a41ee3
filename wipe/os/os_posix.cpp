// POSIX implementation of os.h: the Linux build of Korwipe (the tree half,
// directories to deletes, is os_posix_tree.cpp).
//
// Same behaviour as the Windows build where Linux has the same notion: "/"
// separators; patterns matched with * and ? against every name, dot names
// included, case-sensitively; read-only meaning "no write permission for the
// owner"; the question read from /dev/tty in raw mode; a rename that never
// replaces an existing file.
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

// ---- file contents ----------------------------------------------------------
// (Directories, listings, opening, moving and deleting: os_posix_tree.cpp.)

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

bool osWriteAllAt(OsFile& f, uint64_t offset, const unsigned char* data, size_t n) {
  while (n > 0) {
    ssize_t w = pwrite((int)f.handle, data, n, (off_t)offset);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    data += w;
    offset += (uint64_t)w;
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

bool osOpenDirStreams(OsDir&, OsStreams& out) {
  out.files.reset();
  out.count = 0;
  return true;
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
