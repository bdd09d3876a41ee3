#include "wipe/erase/residue.h"

#include "wipe/erase/report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

const char* const kReasonCopyOnWrite = "copy-on-write file system";
const char* const kReasonLogStructured = "log-structured file system";
const char* const kReasonCompressed = "compressed file";
const char* const kReasonBlocksMoved = "its blocks moved while it was overwritten";
const char* const kReasonJournalledData = "copies in the file system's journal";

const char* reasonForFileSystemType(uint32_t type, bool noCopyOnWrite) {
  // The magic numbers of statfs; written out here because the portable code
  // includes no system headers (bcachefs and zfs have none in every kernel).
  switch (type) {
    case 0x9123683Eu:  // btrfs
      return noCopyOnWrite ? nullptr : kReasonCopyOnWrite;
    case 0x2FC12FC1u:  // zfs
    case 0xCA451A4Eu:  // bcachefs
      return kReasonCopyOnWrite;
    case 0x3434u:  // nilfs2
      return kReasonLogStructured;
    default:
      return nullptr;
  }
}

// Each line: ID PARENT MAJOR:MINOR ROOT MOUNTPOINT OPTIONS [OPTIONAL...] -
// TYPE SOURCE SUPEROPTIONS. Spaces inside names are escaped as \040, so
// splitting at spaces is safe. A device mounted twice (bind mounts) has the
// same super options on every line.
// True when list, separated by commas or line ends, holds option exactly.
static bool optionListHas(const std::string& list, const char* option) {
  size_t length = std::strlen(option);
  for (size_t at = 0; at <= list.size();) {
    size_t end = list.find_first_of(",\n", at);
    if (end == std::string::npos) end = list.size();
    if (end - at == length && list.compare(at, length, option) == 0) return true;
    at = end + 1;
  }
  return false;
}

bool ext4OptionsJournalData(const std::string& options) { return optionListHas(options, "data=journal"); }

bool mountInfoJournalsData(const std::string& mountInfo, unsigned major, unsigned minor) {
  const std::string device = std::to_string(major) + ":" + std::to_string(minor);
  size_t lineStart = 0;
  while (lineStart < mountInfo.size()) {
    size_t lineEnd = mountInfo.find('\n', lineStart);
    if (lineEnd == std::string::npos) lineEnd = mountInfo.size();
    std::vector<std::string> fields;
    for (size_t at = lineStart; at < lineEnd;) {
      size_t space = mountInfo.find(' ', at);
      if (space == std::string::npos || space > lineEnd) space = lineEnd;
      if (space > at) fields.push_back(mountInfo.substr(at, space - at));
      at = space + 1;
    }
    lineStart = lineEnd + 1;
    if (fields.size() < 3 || fields[2] != device) continue;
    size_t dash = 6;
    while (dash < fields.size() && fields[dash] != "-") ++dash;
    if (dash + 3 >= fields.size()) continue;
    if (optionListHas(fields[dash + 3], "data=journal")) return true;
  }
  return false;
}

namespace {
struct Range {
  uint64_t begin, end;  // [begin, end)
};

Range rangeOf(const FileExtent& e) {
  uint64_t end = e.length > UINT64_MAX - e.physical ? UINT64_MAX : e.physical + e.length;
  return {e.physical, end};
}
}  // namespace

bool blocksMoved(const std::vector<FileExtent>& before, const std::vector<FileExtent>& after) {
  // The places after the last pass, sorted and merged, so that one lookup
  // tells whether a place of before is still the file's.
  std::vector<Range> now;
  for (const FileExtent& e : after)
    if (e.holdsData && e.length > 0) now.push_back(rangeOf(e));
  std::sort(now.begin(), now.end(), [](const Range& a, const Range& b) { return a.begin < b.begin; });
  std::vector<Range> merged;
  for (const Range& r : now) {
    if (!merged.empty() && r.begin <= merged.back().end)
      merged.back().end = std::max(merged.back().end, r.end);
    else
      merged.push_back(r);
  }
  for (const FileExtent& e : before) {
    if (!e.holdsData || e.length == 0) continue;
    Range r = rangeOf(e);
    auto next = std::upper_bound(merged.begin(), merged.end(), r.begin,
                                 [](uint64_t at, const Range& m) { return at < m.begin; });
    if (next == merged.begin()) return true;
    const Range& covering = *(next - 1);
    if (covering.end < r.end) return true;
  }
  return false;
}

static bool sameName(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = (*a >= 'a' && *a <= 'z') ? (char)(*a - 32) : *a;
    char y = (*b >= 'a' && *b <= 'z') ? (char)(*b - 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

// Reparse tags of the filters that keep a file's contents (winnt.h values).
static std::string reasonForReparseTag(uint32_t tag) {
  if (tag == 0) return std::string();
  if (tag == 0x80000017) return kReasonCompressed;                         // WOF
  if (tag == 0x80000013) return "deduplicated file";                       // DEDUP
  if ((tag & 0xFFFF0FFFu) == 0x9000001A) return "cloud file";              // CLOUD, CLOUD_1 to CLOUD_F
  if (tag == 0xC0000004 || tag == 0x80000006) return "file held by a storage manager";  // HSM, HSM2
  char other[64];
  std::snprintf(other, sizeof other, "file behind a file-system filter, reparse tag 0x%08X", (unsigned)tag);
  return other;
}

std::string reasonForWindowsFile(bool compressed, uint32_t reparseTag, const char* volumeFileSystem) {
  if (compressed) return kReasonCompressed;
  std::string byTag = reasonForReparseTag(reparseTag);
  if (!byTag.empty()) return byTag;
  if (!volumeFileSystem || !*volumeFileSystem) return std::string();
  for (const char* known : {"NTFS", "FAT", "FAT32", "exFAT"})
    if (sameName(volumeFileSystem, known)) return std::string();
  // The name goes to the console: printable characters only, kept short.
  std::string name;
  for (const char* p = volumeFileSystem; *p && name.size() < 32; ++p)
    name += (*p >= 0x20 && *p < 0x7F) ? *p : '?';
  return "file system " + name + ", not known to overwrite in place";
}

void printResidueWarning(const char* path, const ResidueWatch& w) {
  if (w.reason.empty()) return;
  reportWarning("warning: the old contents of %s may remain on the disk (%s)\n", path, w.reason.c_str());
}
