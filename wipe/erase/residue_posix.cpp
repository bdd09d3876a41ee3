// Linux facts for residue.h: the file system's type (fstatfs), on an overlay
// whether a lower layer holds the original (overlay.h), whether its
// data goes through the journal (the file's flags, the mount's options), and
// the file's physical extents (the FIEMAP ioctl), taken twice per file,
// before the first pass and after the last; never per segment.
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "wipe/erase/overlay.h"
#include "wipe/erase/residue.h"
#include "wipe/os/os.h"

// A file in more pieces than this is not worth following: no facts.
constexpr size_t kMaxExtents = 1 << 20;

// The extents of [0, length), clipped to it. The mapping is asked without
// FIEMAP_FLAG_SYNC: data not yet on the disk shows as delayed or unknown,
// holds nothing, and is not written out only to be overwritten.
static bool readExtents(int fd, uint64_t length, std::vector<FileExtent>& out) {
  constexpr unsigned kBatch = 64;
  union {
    struct fiemap map;
    unsigned char bytes[sizeof(struct fiemap) + kBatch * sizeof(struct fiemap_extent)];
  } buf;
  out.clear();
  uint64_t start = 0;
  while (start < length) {
    std::memset(&buf, 0, sizeof buf);
    buf.map.fm_start = start;
    buf.map.fm_length = length - start;
    buf.map.fm_extent_count = kBatch;
    if (ioctl(fd, FS_IOC_FIEMAP, &buf.map) != 0) return false;
    unsigned n = buf.map.fm_mapped_extents;
    if (n == 0) break;  // the rest of the file is a hole
    uint64_t next = start;
    bool last = false;
    for (unsigned i = 0; i < n && i < kBatch; ++i) {
      const struct fiemap_extent& e = buf.map.fm_extents[i];
      uint64_t len = e.fe_logical >= length ? 0 : std::min<uint64_t>(e.fe_length, length - e.fe_logical);
      const uint32_t noData = FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_UNWRITTEN;
      out.push_back({e.fe_physical, len, (e.fe_flags & noData) == 0});
      next = e.fe_logical + e.fe_length;
      last = (e.fe_flags & FIEMAP_EXTENT_LAST) != 0;
    }
    if (last || next <= start || out.size() > kMaxExtents) break;
    start = next;
  }
  return out.size() <= kMaxExtents;
}

// ext4's own list of the options in force on device major:minor (empty when
// it is no ext4 device): found by the device's name in /sys.
static std::string ext4Options(unsigned major, unsigned minor) {
  char path[96];
  std::snprintf(path, sizeof path, "/sys/dev/block/%u:%u/uevent", major, minor);
  std::string uevent = readSystemText(path);
  size_t at = uevent.find("DEVNAME=");
  if (at == std::string::npos) return std::string();
  at += 8;
  std::string name = uevent.substr(at, uevent.find('\n', at) - at);
  if (name.empty() || name.find("..") != std::string::npos) return std::string();
  return readSystemText(("/proc/fs/ext4/" + name + "/options").c_str());
}

// The file's own flag (chattr +j), or the mount's data=journal, as given at
// mount time (mountinfo) or by the file system's defaults (ext4's options
// list). Read once per device met: a pattern or a tree erases many files on
// the same one.
static bool journalsData(dev_t device, int flags) {
  if (flags & FS_JOURNAL_DATA_FL) return true;
  static dev_t knownDevice;
  static int knownAnswer = -1;
  if (knownAnswer < 0 || knownDevice != device) {
    knownDevice = device;
    unsigned maj = major(device), min = minor(device);
    knownAnswer = mountInfoJournalsData(readSystemText("/proc/self/mountinfo"), maj, min) ||
                  ext4OptionsJournalData(ext4Options(maj, min));
  }
  return knownAnswer == 1;
}

void residueWatchStart(OsFile& f, uint64_t length, ResidueWatch& w) {
  int fd = (int)f.handle;
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) flags = 0;  // no flags on this file system
  // The file system's type, asked once per device met (f_type is a signed
  // word; the magic numbers are its low 32 bits).
  static dev_t typeDevice;
  static int64_t knownType = -1;
  dev_t device = (dev_t)f.id.volume;
  struct statfs fs;
  if (knownType < 0 || typeDevice != device) {
    knownType = fstatfs(fd, &fs) == 0 ? (int64_t)(uint32_t)fs.f_type : -1;
    typeDevice = device;
  }
  if (knownType == kOverlayFileSystemType) {
    if (const char* reason = overlayReasonForFile(f)) {
      w.reason = reason;
      return;
    }
  }
  if (knownType >= 0) {
    if (const char* reason = reasonForFileSystemType((uint32_t)knownType, (flags & FS_NOCOW_FL) != 0)) {
      w.reason = reason;
      return;
    }
  }
  if (journalsData(device, flags)) {
    w.reason = kReasonJournalledData;
    return;
  }
  w.length = length;
  w.haveExtents = length > 0 && readExtents(fd, length, w.before);
}

void residueWatchEnd(OsFile& f, ResidueWatch& w) {
  if (!w.reason.empty() || !w.haveExtents) return;
  std::vector<FileExtent> after;
  if (readExtents((int)f.handle, w.length, after) && blocksMoved(w.before, after)) w.reason = kReasonBlocksMoved;
}
