// Adds one group's entry to a POSIX access ACL, in the byte form the kernel
// uses for the "system.posix_acl_access" extended attribute.
//
// The Linux cfgsetup opens config.cfg to the users group by editing the
// file's access list rather than replacing it: entries already there stay,
// the group's entry is added (or widened), and the mask is recomputed so that
// the new entry takes effect. Kept free of system calls so it can be tested
// on byte strings.
//
// Byte form (little-endian): a 4-byte version (2), then 8-byte entries of a
// 2-byte tag, 2-byte permission bits (r 4, w 2, x 1) and a 4-byte id, sorted
// by tag and then id. Owner, owning group and others carry no id (all bits set).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum AclTag : uint16_t {
  kAclUserObj = 0x01,
  kAclUser = 0x02,
  kAclGroupObj = 0x04,
  kAclGroup = 0x08,
  kAclMask = 0x10,
  kAclOther = 0x20,
};

constexpr uint32_t kAclNoId = 0xFFFFFFFFu;

struct AclEntry {
  uint16_t tag;
  uint16_t perm;
  uint32_t id;
};

// Results of grantGroupInAcl.
enum AclGrantResult {
  kAclGranted = 0,    // out holds the edited list
  kAclMalformed = 1,  // the current list is not in the form above; out is empty
};

// Reads a list in byte form; false when it is malformed (wrong version, a
// length that is not whole entries, an unknown tag, or no owner, group or
// others entry).
bool parseAcl(const unsigned char* bytes, size_t size, std::vector<AclEntry>& entries);

std::vector<unsigned char> serializeAcl(const std::vector<AclEntry>& entries);

// Grants `perm` to group `gid` in the access list `current` (size 0: the file
// has no list yet, its permission bits `mode` stand for it). The group keeps
// any permission it already had; the mask becomes the union of the owning
// group's, every named user's and every named group's permissions.
AclGrantResult grantGroupInAcl(const unsigned char* current, size_t size, unsigned mode, uint32_t gid,
                               uint16_t perm, std::vector<unsigned char>& out);
