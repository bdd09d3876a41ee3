#include "wipe/os/winrules.h"

namespace {
// Bytes [at, at + n) lie inside a buffer of size bytes; no sum can wrap.
bool inside(size_t size, size_t at, size_t n) { return at <= size && n <= size - at; }

uint32_t read32(const unsigned char* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

uint64_t read64(const unsigned char* p) { return (uint64_t)read32(p) | (uint64_t)read32(p + 4) << 32; }

void readName(const unsigned char* p, size_t bytes, std::u16string& out) {
  out.resize(bytes / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = (char16_t)(p[2 * i] | p[2 * i + 1] << 8);
}

// Reads the chain link of the record at offset whose fixed part and name
// take used bytes: next is the following record, or size after the last.
bool followChain(const unsigned char* data, size_t size, size_t offset, size_t used, size_t& next) {
  uint32_t link = read32(data + offset);
  if (link == 0) {
    next = size;
    return true;
  }
  if (link < used || !inside(size, offset, link)) return false;
  next = offset + link;
  return true;
}

// FILE_ID_BOTH_DIR_INFORMATION: NextEntryOffset 0, FileAttributes 56,
// FileNameLength 60, EaSize 64, FileId 96, FileName 104 (the same in 32-
// and 64-bit builds: every member is aligned by its own size).
constexpr size_t kDirEndOfFile = 40, kDirAttributes = 56, kDirNameLength = 60, kDirEaSize = 64, kDirFileId = 96, kDirName = 104;
// FILE_STREAM_INFORMATION: NextEntryOffset 0, StreamNameLength 4, StreamName 24.
constexpr size_t kStreamNameLength = 4, kStreamName = 24;
}  // namespace

bool readDirRecord(const unsigned char* data, size_t size, size_t offset, DirRecord& r, size_t& next) {
  if (!inside(size, offset, kDirName)) return false;
  const unsigned char* p = data + offset;
  uint32_t nameBytes = read32(p + kDirNameLength);
  if (nameBytes % 2 != 0 || !inside(size, offset + kDirName, nameBytes)) return false;
  if (!followChain(data, size, offset, kDirName + nameBytes, next)) return false;
  r.attributes = read32(p + kDirAttributes);
  r.eaSize = read32(p + kDirEaSize);
  r.fileId = read64(p + kDirFileId);
  r.endOfFile = read64(p + kDirEndOfFile);
  readName(p + kDirName, nameBytes, r.name);
  return true;
}

bool readStreamNames(const unsigned char* data, size_t size, std::vector<std::u16string>& names) {
  names.clear();
  std::u16string name;
  for (size_t offset = 0, next = 0; offset < size; offset = next) {
    if (!inside(size, offset, kStreamName)) return false;
    uint32_t nameBytes = read32(data + offset + kStreamNameLength);
    if (nameBytes % 2 != 0 || !inside(size, offset + kStreamName, nameBytes)) return false;
    if (!followChain(data, size, offset, kStreamName + nameBytes, next)) return false;
    readName(data + offset + kStreamName, nameBytes, name);
    // ":name:type": the stream's own name (empty for the main stream), then its type.
    size_t second = name.size() > 1 ? name.find(u':', 1) : std::u16string::npos;
    if (name.empty() || name[0] != u':' || second == std::u16string::npos || second + 1 == name.size()) return false;
    if (second > 1) names.push_back(name);
  }
  return true;
}

bool streamQueryMeansNone(uint32_t status) {
  switch (status) {
    case kStatusNotImplemented:
    case kStatusInvalidInfoClass:
    case kStatusInvalidParameter:
    case kStatusInvalidDeviceRequest:
    case kStatusNotSupported:
      return true;
    default:
      return false;
  }
}

bool narrowedNameFitsPath(const std::string& narrowed, const std::u16string& wide, const bool (&lead)[256],
                          size_t pathMax) {
  if (narrowed.empty() || narrowed.size() >= pathMax) return false;
  bool wideIsDot = wide == u"." || wide == u"..";
  if ((narrowed == "." || narrowed == "..") && !wideIsDot) return false;
  for (size_t i = 0; i < narrowed.size(); ++i) {
    unsigned char b = (unsigned char)narrowed[i];
    if (b == '\\' || b == '/' || b == ':') return false;
    if (lead[b] && i + 1 < narrowed.size()) ++i;  // its trail byte, whatever its value
  }
  return true;
}

namespace {
bool isSeparator16(char16_t c) { return c == u'\\' || c == u'/'; }

// Index just past the component starting at i and the separator after it.
size_t skipComponent(const std::u16string& p, size_t i) {
  while (i < p.size() && !isSeparator16(p[i])) ++i;
  return i < p.size() ? i + 1 : i;
}

bool isUnc(const std::u16string& p, size_t i) {
  return p.size() >= i + 4 && (p[i] == u'U' || p[i] == u'u') && (p[i + 1] == u'N' || p[i + 1] == u'n') &&
         (p[i + 2] == u'C' || p[i + 2] == u'c') && isSeparator16(p[i + 3]);
}

// Length of the part of a path that names a volume or share root.
size_t rootLength(const std::u16string& p) {
  if (p.size() >= 2 && isSeparator16(p[0]) && isSeparator16(p[1])) {
    // "\\?\" and "\\.\": a volume ("C:", "Volume{...}") or "UNC\server\share".
    if (p.size() >= 4 && (p[2] == u'?' || p[2] == u'.') && isSeparator16(p[3]))
      return isUnc(p, 4) ? skipComponent(p, skipComponent(p, 8)) : skipComponent(p, 4);
    return skipComponent(p, skipComponent(p, 2));
  }
  if (p.size() >= 2 && p[1] == u':') return p.size() >= 3 && isSeparator16(p[2]) ? 3 : 2;
  return !p.empty() && isSeparator16(p[0]) ? 1 : 0;
}
}  // namespace

bool win32SplitLastComponent(const std::u16string& path, size_t& parentLength, std::u16string& last) {
  size_t root = rootLength(path), end = path.size();
  while (end > root && isSeparator16(path[end - 1])) --end;
  size_t start = end;
  while (start > root && !isSeparator16(path[start - 1])) --start;
  last = path.substr(start, end - start);
  parentLength = start;
  return !last.empty() && last != u"." && last != u"..";
}

std::u16string win32LastComponent(const std::u16string& typed, bool verbatim) {
  if (verbatim || typed == u"." || typed == u"..") return typed;
  size_t n = typed.size();
  while (n > 0 && (typed[n - 1] == u'.' || typed[n - 1] == u' ')) --n;
  return typed.substr(0, n);
}

uint32_t attributesWithoutReadOnly(uint32_t attributes) {
  // FILE_ATTRIBUTE_VALID_SET_FLAGS: read-only, hidden, system, archive,
  // normal, temporary, offline, not content indexed.
  uint32_t kept = attributes & 0x31A7u & ~1u;
  return kept ? kept : 0x80u;
}
