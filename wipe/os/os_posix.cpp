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

// The walk holds a descriptor per directory level (at most kPathMax / 2)
// and the batch its directories (kBatchDirectories): kept aside.
static const rlim_t kReserve = 512, kWanted = 4096 + kReserve;

// The soft limit on descriptors, raised towards kWanted as far as the hard
// one allows (once).
static rlim_t descriptorLimit() {
  static const rlim_t limit = [] {
    struct rlimit lim;
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return (rlim_t)256;
    if (lim.rlim_cur < kWanted && lim.rlim_cur < lim.rlim_max) {
      struct rlimit raised = lim;
      raised.rlim_cur = lim.rlim_max < kWanted ? lim.rlim_max : kWanted;
      if (setrlimit(RLIMIT_NOFILE, &raised) == 0) lim = raised;
    }
    return lim.rlim_cur;
  }();
  return limit;
}

int osFilesAtOnce() {
  rlim_t limit = descriptorLimit();
  if (limit == RLIM_INFINITY || limit >= kWanted) return 4096;
  return limit > kReserve + 64 ? (int)(limit - kReserve) : 64;
}

// Below kWanted the descriptors in use are counted: one poll over every
// number under the limit marks those not open (POLLNVAL). No /proc needed,
// one system call, and only where the limit is low.
int osFreeDescriptors() {
  rlim_t limit = descriptorLimit();
  if (limit == RLIM_INFINITY || limit >= kWanted) return -1;
  static std::vector<struct pollfd> slots;
  slots.assign((size_t)limit, pollfd{});
  for (size_t i = 0; i < slots.size(); ++i) slots[i].fd = (int)i;
  if (poll(slots.data(), (nfds_t)slots.size(), 0) < 0) return 0;
  int free = 0;
  for (const pollfd& p : slots) free += (p.revents & POLLNVAL) != 0;
  return free;
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
