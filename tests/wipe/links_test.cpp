#include <gtest/gtest.h>

#include <cstdint>

#include "wipe/os/os.h"
#include "wipe/os/reparse.h"

static const char* kindName(OsNameKind k) {
  switch (k) {
    case OsNameKind::Missing: return "Missing";
    case OsNameKind::File: return "File";
    case OsNameKind::Directory: return "Directory";
    case OsNameKind::FileLink: return "FileLink";
    case OsNameKind::DirectoryLink: return "DirectoryLink";
  }
  return "?";
}

// Tags as Windows defines them (IO_REPARSE_TAG_*). Whether each stands for
// another name was read off its name-surrogate bit (0x20000000) by hand:
// the high nibble A (1010) has it, 8 (1000), 9 (1001) and C (1100) do not.
TEST(Reparse, OnlyNameSurrogateTagsAreLinks) {
  struct Case {
    const char* name;
    uint32_t tag;
    bool link;
  } cases[] = {
      {"SYMLINK", 0xA000000C, true},          {"MOUNT_POINT (junction)", 0xA0000003, true},
      {"LX_SYMLINK", 0xA000001D, true},       {"GLOBAL_REPARSE", 0xA0000019, true},
      {"IIS_CACHE", 0xA0000010, true},        {"WCI_TOMBSTONE", 0xA000001F, true},
      {"PROJFS_TOMBSTONE", 0xA0000022, true}, {"WCI_LINK", 0xA0000027, true},
      {"DEDUP", 0x80000013, false},           {"WOF", 0x80000017, false},
      {"WIM", 0x80000008, false},             {"CLOUD", 0x9000001A, false},
      {"CLOUD_1", 0x9000101A, false},         {"CLOUD_6", 0x9000601A, false},
      {"CLOUD_F", 0x9000F01A, false},         {"HSM", 0xC0000004, false},
      {"HSM2", 0x80000006, false},            {"SIS", 0x80000007, false},
      {"DFS", 0x8000000A, false},             {"DFSR", 0x80000012, false},
      {"NFS", 0x80000014, false},             {"APPEXECLINK", 0x8000001B, false},
      {"PROJFS", 0x9000001C, false},          {"STORAGE_SYNC", 0x8000001E, false},
      {"ONEDRIVE", 0x80000021, false},        {"AF_UNIX", 0x80000023, false},
      {"LX_FIFO", 0x80000024, false},         {"LX_BLK", 0x80000026, false},
      {"third-party data tag", 0x00000123, false}, {"third-party surrogate", 0x20000123, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(reparseTagIsLink(c.tag), c.link) << c.name;
    // The directory attribute only says which kind of link or entry it is.
    EXPECT_STREQ(kindName(windowsNameKind(kWinAttrReparsePoint | 0x20, c.tag)), c.link ? "FileLink" : "File") << c.name;
    EXPECT_STREQ(kindName(windowsNameKind(kWinAttrReparsePoint | kWinAttrDirectory, c.tag)),
                 c.link ? "DirectoryLink" : "Directory")
        << c.name;
  }
  // No valid tag: the real one could not be read. A directory is taken as a
  // link, so that it is never entered; a file is no link, so that it is not
  // removed as a name unwritten (the open refuses it).
  const uint32_t invalid[] = {0x00000000, 0x00000001, 0x00000002, 0x80010013};
  for (uint32_t tag : invalid) {
    EXPECT_TRUE(reparseTagIsLink(tag)) << std::hex << tag;
    EXPECT_STREQ(kindName(windowsNameKind(kWinAttrReparsePoint | 0x20, tag)), "File") << std::hex << tag;
    EXPECT_STREQ(kindName(windowsNameKind(kWinAttrReparsePoint | kWinAttrDirectory, tag)), "DirectoryLink")
        << std::hex << tag;
  }
}

TEST(Reparse, KindFromAttributesAndTag) {
  struct Case {
    const char* what;
    uint32_t attributes;
    uint32_t tag;
    OsNameKind kind;
  } cases[] = {
      {"plain file", 0x20, 0, OsNameKind::File},
      {"read-only hidden file", 0x23, 0, OsNameKind::File},
      {"plain directory", 0x10, 0, OsNameKind::Directory},
      // The tag word means nothing without the reparse attribute.
      {"directory, stray tag word", 0x10, 0xA0000003, OsNameKind::Directory},
      {"file, stray tag word", 0x20, 0xA000000C, OsNameKind::File},
      {"junction", 0x410, 0xA0000003, OsNameKind::DirectoryLink},
      {"directory symbolic link", 0x410, 0xA000000C, OsNameKind::DirectoryLink},
      {"file symbolic link", 0x420, 0xA000000C, OsNameKind::FileLink},
      {"file symbolic link to a directory", 0x400, 0xA000000C, OsNameKind::FileLink},
      {"deduplicated file", 0x420, 0x80000013, OsNameKind::File},
      {"compressed by the overlay filter", 0x421, 0x80000017, OsNameKind::File},
      {"cloud placeholder, offline", 0x1420, 0x9000001A, OsNameKind::File},
      {"cloud folder placeholder", 0x410, 0x9000601A, OsNameKind::Directory},
      {"POSIX link to a directory under Wine", 0x410, 0, OsNameKind::DirectoryLink},
  };
  for (const Case& c : cases)
    EXPECT_STREQ(kindName(windowsNameKind(c.attributes, c.tag)), kindName(c.kind)) << c.what;
}
