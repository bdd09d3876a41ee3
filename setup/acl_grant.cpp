#include "acl_grant.h"

#include <algorithm>

namespace {

constexpr uint32_t kAclVersion = 2;
constexpr size_t kHeaderSize = 4;
constexpr size_t kEntrySize = 8;

uint32_t readLe(const unsigned char* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void writeLe(std::vector<unsigned char>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back((unsigned char)(v >> (8 * i)));
}

bool knownTag(uint16_t tag) {
  switch (tag) {
    case kAclUserObj:
    case kAclUser:
    case kAclGroupObj:
    case kAclGroup:
    case kAclMask:
    case kAclOther:
      return true;
  }
  return false;
}

}  // namespace

bool parseAcl(const unsigned char* bytes, size_t size, std::vector<AclEntry>& entries) {
  entries.clear();
  if (size < kHeaderSize || (size - kHeaderSize) % kEntrySize != 0) return false;
  if (readLe(bytes, 4) != kAclVersion) return false;
  bool userObj = false, groupObj = false, other = false;
  for (size_t at = kHeaderSize; at < size; at += kEntrySize) {
    AclEntry e{(uint16_t)readLe(bytes + at, 2), (uint16_t)readLe(bytes + at + 2, 2), readLe(bytes + at + 4, 4)};
    if (!knownTag(e.tag) || e.perm > 7) return false;
    userObj |= e.tag == kAclUserObj;
    groupObj |= e.tag == kAclGroupObj;
    other |= e.tag == kAclOther;
    entries.push_back(e);
  }
  if (!userObj || !groupObj || !other) {
    entries.clear();
    return false;
  }
  return true;
}

std::vector<unsigned char> serializeAcl(const std::vector<AclEntry>& entries) {
  std::vector<unsigned char> out;
  out.reserve(kHeaderSize + entries.size() * kEntrySize);
  writeLe(out, kAclVersion, 4);
  for (const AclEntry& e : entries) {
    writeLe(out, e.tag, 2);
    writeLe(out, e.perm, 2);
    writeLe(out, e.id, 4);
  }
  return out;
}

AclGrantResult grantGroupInAcl(const unsigned char* current, size_t size, unsigned mode, uint32_t gid,
                               uint16_t perm, std::vector<unsigned char>& out) {
  out.clear();
  std::vector<AclEntry> entries;
  if (size == 0) {
    // No list yet: the permission bits are the whole list.
    entries = {{kAclUserObj, (uint16_t)((mode >> 6) & 7), kAclNoId},
               {kAclGroupObj, (uint16_t)((mode >> 3) & 7), kAclNoId},
               {kAclOther, (uint16_t)(mode & 7), kAclNoId}};
  } else if (!parseAcl(current, size, entries)) {
    return kAclMalformed;
  }

  bool found = false;
  for (AclEntry& e : entries) {
    if (e.tag == kAclGroup && e.id == gid) {
      e.perm |= perm;
      found = true;
    }
  }
  if (!found) entries.push_back({kAclGroup, perm, gid});

  // The mask caps every entry of the group class; without widening it a new
  // entry would be granted on paper only.
  uint16_t mask = 0;
  for (const AclEntry& e : entries)
    if (e.tag == kAclGroupObj || e.tag == kAclUser || e.tag == kAclGroup) mask |= e.perm;
  entries.erase(std::remove_if(entries.begin(), entries.end(), [](const AclEntry& e) { return e.tag == kAclMask; }),
                entries.end());
  entries.push_back({kAclMask, mask, kAclNoId});

  std::sort(entries.begin(), entries.end(), [](const AclEntry& a, const AclEntry& b) {
    return a.tag != b.tag ? a.tag < b.tag : a.id < b.id;
  });
  out = serializeAcl(entries);
  return kAclGranted;
}
