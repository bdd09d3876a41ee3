#include "acl_grant.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint32_t kUsers = 100;

std::vector<AclEntry> entriesOf(const std::vector<unsigned char>& bytes) {
  std::vector<AclEntry> e;
  EXPECT_TRUE(parseAcl(bytes.data(), bytes.size(), e));
  return e;
}

bool same(const std::vector<AclEntry>& a, const std::vector<AclEntry>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].tag != b[i].tag || a[i].perm != b[i].perm || a[i].id != b[i].id) return false;
  return true;
}

struct GrantCase {
  const char* name;
  std::vector<AclEntry> before;  // empty: the file has no access list yet
  unsigned mode;
  std::vector<AclEntry> after;
};

TEST(AclGrant, AddsTheGroupKeepsTheRestAndWidensTheMask) {
  const GrantCase cases[] = {
      {"no list: built from the mode bits",
       {},
       0644,
       {{kAclUserObj, 6, kAclNoId}, {kAclGroupObj, 4, kAclNoId}, {kAclGroup, 6, kUsers}, {kAclMask, 6, kAclNoId},
        {kAclOther, 4, kAclNoId}}},
      {"named entries kept, new one sorted in by id",
       {{kAclUserObj, 7, kAclNoId}, {kAclUser, 4, 1000}, {kAclGroupObj, 0, kAclNoId}, {kAclGroup, 1, 50},
        {kAclGroup, 4, 200}, {kAclMask, 4, kAclNoId}, {kAclOther, 0, kAclNoId}},
       0,
       {{kAclUserObj, 7, kAclNoId}, {kAclUser, 4, 1000}, {kAclGroupObj, 0, kAclNoId}, {kAclGroup, 1, 50},
        {kAclGroup, 6, kUsers}, {kAclGroup, 4, 200}, {kAclMask, 7, kAclNoId}, {kAclOther, 0, kAclNoId}}},
      {"existing entry widened, never narrowed",
       {{kAclUserObj, 6, kAclNoId}, {kAclGroupObj, 4, kAclNoId}, {kAclGroup, 5, kUsers}, {kAclMask, 5, kAclNoId},
        {kAclOther, 4, kAclNoId}},
       0,
       {{kAclUserObj, 6, kAclNoId}, {kAclGroupObj, 4, kAclNoId}, {kAclGroup, 7, kUsers}, {kAclMask, 7, kAclNoId},
        {kAclOther, 4, kAclNoId}}},
      {"granting twice changes nothing more",
       {{kAclUserObj, 6, kAclNoId}, {kAclGroupObj, 4, kAclNoId}, {kAclGroup, 6, kUsers}, {kAclMask, 6, kAclNoId},
        {kAclOther, 4, kAclNoId}},
       0,
       {{kAclUserObj, 6, kAclNoId}, {kAclGroupObj, 4, kAclNoId}, {kAclGroup, 6, kUsers}, {kAclMask, 6, kAclNoId},
        {kAclOther, 4, kAclNoId}}},
  };
  for (const GrantCase& c : cases) {
    std::vector<unsigned char> before = c.before.empty() ? std::vector<unsigned char>() : serializeAcl(c.before);
    std::vector<unsigned char> out;
    ASSERT_EQ(grantGroupInAcl(before.data(), before.size(), c.mode, kUsers, 6, out), kAclGranted) << c.name;
    EXPECT_TRUE(same(entriesOf(out), c.after)) << c.name;
  }
}

TEST(AclGrant, ByteFormIsLittleEndian) {
  std::vector<unsigned char> out;
  ASSERT_EQ(grantGroupInAcl(nullptr, 0, 0600, 0x01020304, 6, out), kAclGranted);
  const std::vector<unsigned char> expected = {
      2, 0, 0, 0,                                          // version
      0x01, 0, 6, 0, 0xFF, 0xFF, 0xFF, 0xFF,               // owner rw
      0x04, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,               // owning group none
      0x08, 0, 6, 0, 0x04, 0x03, 0x02, 0x01,               // the granted group
      0x10, 0, 6, 0, 0xFF, 0xFF, 0xFF, 0xFF,               // mask
      0x20, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,               // others none
  };
  EXPECT_EQ(out, expected);
}

TEST(AclGrant, MalformedListsAreLeftAlone) {
  std::vector<unsigned char> good = serializeAcl(
      {{kAclUserObj, 6, kAclNoId}, {kAclGroupObj, 4, kAclNoId}, {kAclOther, 4, kAclNoId}});
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"shorter than the header", {2, 0}});
  cases.push_back({"a part of an entry", std::vector<unsigned char>(good.begin(), good.end() - 3)});
  std::vector<unsigned char> v = good;
  v[0] = 1;
  cases.push_back({"wrong version", v});
  v = good;
  v[4] = 0x40;
  cases.push_back({"unknown tag", v});
  v = good;
  v[6] = 9;
  cases.push_back({"permission bits out of range", v});
  cases.push_back({"no others entry", serializeAcl({{kAclUserObj, 6, kAclNoId}, {kAclGroupObj, 4, kAclNoId}})});
  for (const Case& c : cases) {
    std::vector<unsigned char> out = {1};
    EXPECT_EQ(grantGroupInAcl(c.bytes.data(), c.bytes.size(), 0644, kUsers, 6, out), kAclMalformed) << c.name;
    EXPECT_TRUE(out.empty()) << c.name;
  }
}

}  // namespace
