#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "open_named.h"
#include "wipe/erase/residue.h"
#include "wipe/os/os.h"

TEST(Residue, FileSystemTypes) {
  struct Case {
    uint32_t type;
    bool noCopyOnWrite;
    const char* want;  // null: overwrites in place
    const char* what;
  } cases[] = {
      {0x9123683Eu, false, kReasonCopyOnWrite, "btrfs"},
      {0x9123683Eu, true, nullptr, "btrfs, file with chattr +C"},
      {0x2FC12FC1u, false, kReasonCopyOnWrite, "zfs"},
      {0x2FC12FC1u, true, kReasonCopyOnWrite, "zfs ignores the flag"},
      {0xCA451A4Eu, false, kReasonCopyOnWrite, "bcachefs"},
      {0x3434u, false, kReasonLogStructured, "nilfs2"},
      {0xEF53u, false, nullptr, "ext4"},
      {0x58465342u, false, nullptr, "xfs"},
      {0x01021994u, false, nullptr, "tmpfs"},
      {0x9123683Fu, false, nullptr, "btrfs plus one"},
      {0x34340000u, false, nullptr, "nilfs2 in the high half"},
      {0x6969u, false, kReasonNetwork, "nfs"},
      {0x517Bu, false, kReasonNetwork, "smb"},
      {0xFF534D42u, false, kReasonNetwork, "cifs"},
      {0xFE534D42u, false, kReasonNetwork, "smb2"},
      {0x6B414653u, false, kReasonNetwork, "afs"},
      {0x00C36400u, false, kReasonNetwork, "ceph"},
      {0x01021997u, false, kReasonNetwork, "9p"},
      {0x61756673u, false, kReasonUnion, "aufs"},
      {kOverlayFileSystemType, false, nullptr, "overlay: decided by its layers"},
      {0x65735546u, false, nullptr, "fuse: anything, local or not"},
  };
  for (const Case& c : cases) EXPECT_EQ(reasonForFileSystemType(c.type, c.noCopyOnWrite), c.want) << c.what;
}

TEST(Residue, MountInfoJournalsData) {
  const std::string table =
      "22 1 253:0 / / rw,relatime shared:1 - ext4 /dev/vda rw,errors=remount-ro\n"
      "40 22 7:0 / /mnt/j rw,relatime shared:20 - ext4 /dev/loop0 rw,data=journal\n"
      "41 22 7:0 /sub /mnt/bind rw,relatime shared:20 - ext4 /dev/loop0 rw,data=journal\n"
      "42 22 7:1 / /mnt/o rw,relatime - ext4 /dev/loop1 rw,data=ordered\n"
      "43 22 7:2 / /mnt/with\\040space rw master:3 shared:7 - ext4 /dev/loop2 rw,journal_checksum,data=journal\n"
      "44 22 7:3 / /mnt/data=journal rw,relatime - ext4 /dev/loop3 rw,data=journalled\n"
      "45 22 7:4 / /mnt/x rw - xfs /dev/loop4 data=journal,rw";  // last line without a line end
  struct Case {
    unsigned major, minor;
    bool want;
    const char* what;
  } cases[] = {
      {253, 0, false, "root, ordered by default"},
      {7, 0, true, "data=journal, mounted twice"},
      {7, 1, false, "data=ordered"},
      {7, 2, true, "several optional fields, escaped space"},
      {7, 3, false, "only the mount point and a longer option name say it"},
      {7, 4, true, "first option, last line"},
      {7, 5, false, "device not mounted"},
      {70, 0, false, "major that only starts like another"},
  };
  for (const Case& c : cases) EXPECT_EQ(mountInfoJournalsData(table, c.major, c.minor), c.want) << c.what;
  EXPECT_FALSE(mountInfoJournalsData("40 22 7:0 / /mnt/j rw - ext4\n", 7, 0)) << "line cut short";
  EXPECT_FALSE(mountInfoJournalsData("", 7, 0)) << "empty table";
}

TEST(Residue, Ext4OptionsJournalData) {
  struct Case {
    const char* options;
    bool want;
  } cases[] = {
      {"rw\nbsddf\nnodelalloc\ndata=journal\nbarrier\n", true},  // tune2fs -o journal_data
      {"rw\ndata=journal", true},                                  // no final line end
      {"rw\nbsddf\ndata=ordered\n", false},
      {"rw\ndata=journalled\n", false},
      {"rw\nxdata=journal\n", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(ext4OptionsJournalData(c.options), c.want) << c.options;
}

TEST(Residue, BlocksMoved) {
  using V = std::vector<FileExtent>;
  const uint64_t M = 1 << 20;
  struct Case {
    V before, after;
    bool moved;
    const char* what;
  } cases[] = {
      {{}, {}, false, "empty file"},
      {{{100 * M, 4096, true}}, {{100 * M, 4096, true}}, false, "same block"},
      {{{100 * M, 4096, true}}, {{200 * M, 4096, true}}, true, "written elsewhere"},
      {{{100 * M, 2 * M, true}}, {{100 * M, M, true}, {101 * M, M, true}}, false, "split in two"},
      {{{101 * M, M, true}, {100 * M, M, true}}, {{100 * M, 2 * M, true}}, false, "merged, listed out of order"},
      {{{100 * M, 2 * M, true}}, {{100 * M, M, true}, {102 * M, M, true}}, true, "second half moved"},
      {{{100 * M, 2 * M, true}}, {{100 * M, M, true}, {101 * M + 4096, M, true}}, true, "one block left behind"},
      {{{100 * M, M, true}}, {{99 * M, 3 * M, true}}, false, "within a larger extent"},
      {{{100 * M, M, true}}, {{100 * M, M / 2, true}, {100 * M + M / 2, M / 2, true}}, false, "adjacent pieces"},
      {{{100 * M, M, true}}, {{100 * M, M, false}}, true, "after holds no data"},
      {{{0, M, false}}, {{300 * M, M, true}}, false, "delayed allocation before"},
      {{{100 * M, M, true}, {0, M, false}}, {{100 * M, M, true}, {300 * M, M, true}}, false,
       "placed part stayed, delayed part placed"},
      {{{100 * M, 0, true}}, {}, false, "zero-length extent"},
      {{{UINT64_MAX - 10, 100, true}}, {{UINT64_MAX - 10, 100, true}}, false, "at the end of the range"},
      {{{100 * M, M, true}}, {}, true, "nothing after"},
  };
  for (const Case& c : cases) EXPECT_EQ(blocksMoved(c.before, c.after), c.moved) << c.what;
}

TEST(Residue, WindowsFiles) {
  struct Case {
    bool compressed;
    uint32_t tag;
    const char* fs;
    std::string want;
    bool remote = false;
  } cases[] = {
      {false, 0, "NTFS", ""},
      {false, 0, "FAT", ""},
      {false, 0, "FAT32", ""},
      {false, 0, "exFAT", ""},
      {false, 0, "ntfs", ""},
      {false, 0, "EXFAT", ""},
      {false, 0, nullptr, ""},
      {false, 0, "", ""},
      {true, 0, "NTFS", kReasonCompressed},
      {true, 0, nullptr, kReasonCompressed},
      {false, 0, "ReFS", "file system ReFS, not known to overwrite in place"},
      {false, 0, "NTFS2", "file system NTFS2, not known to overwrite in place"},
      {false, 0, "FAT\x1b[2J", "file system FAT?[2J, not known to overwrite in place"},
      {false, 0, "Btrfs", "file system Btrfs, not known to overwrite in place"},
      // Reparse points that are no link: the filter keeps the contents.
      {false, 0x80000017, "NTFS", kReasonCompressed},
      {false, 0x80000013, "NTFS", "deduplicated file"},
      {false, 0x9000001A, "NTFS", "cloud file"},
      {false, 0x9000F01A, "NTFS", "cloud file"},
      {false, 0xC0000004, "NTFS", "file held by a storage manager"},
      {false, 0x80000006, "NTFS", "file held by a storage manager"},
      {false, 0x80000024, "NTFS", "file behind a file-system filter, reparse tag 0x80000024"},
      {true, 0x80000013, "NTFS", kReasonCompressed},
      {false, 0x80000013, "ReFS", "deduplicated file"},
      // A remote volume: its server places the bytes, whatever it reports.
      {false, 0, "NTFS", kReasonNetwork, true},
      {true, 0x80000013, "ReFS", kReasonNetwork, true},
      {false, 0, nullptr, kReasonNetwork, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(reasonForWindowsFile(c.compressed, c.tag, c.fs, c.remote), c.want)
        << (c.fs ? c.fs : "(null)") << " " << c.compressed << " tag " << std::hex << c.tag << " remote "
        << c.remote;
}

TEST(Residue, WarningLine) {
  ResidueWatch quiet, moved;
  moved.reason = kReasonBlocksMoved;
  testing::internal::CaptureStderr();
  printResidueWarning("dir/a.txt", quiet);
  printResidueWarning("dir/b 100%.txt", moved);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "warning: the old contents of dir/b 100%.txt may remain on the disk "
            "(its blocks moved while it was overwritten)\n");
}

// The Linux facts on a real folder of the test machine: a synced file
// overwritten in place keeps its blocks (ext4 and xfs): no reason given.
// Returns why the folder cannot show it (tmpfs gives no extent map; a
// copy-on-write file system writes elsewhere), or "" when it was measured.
// Blocks that do move are shown on a real file system by the forensic test (a
// reflinked copy on xfs).
static std::string watchInPlace(const std::string& folder) {
  std::string path = folder + "/kor-" + std::to_string(getpid()) + "-residue.bin";
  std::vector<unsigned char> data(256 * 1024, 0x5A);
  FILE* out = std::fopen(path.c_str(), "wb");
  EXPECT_NE(out, nullptr) << path;
  if (!out) return "";
  std::fwrite(data.data(), 1, data.size(), out);
  std::fclose(out);
  OsFile f;
  OsDir dir;
  ResidueWatch w;
  bool opened = openNamed(path, dir, f) == OsOpenResult::Opened;
  EXPECT_TRUE(opened && osFlush(f)) << path;
  if (opened) residueWatchStart(f, data.size(), w);
  std::string why = !opened               ? ""
                    : !w.reason.empty() ? "a file system that writes elsewhere (" + w.reason + ")"
                    : !w.haveExtents    ? "a file system without extent maps"
                                        : "";
  if (opened && why.empty()) {
    // The synced file's blocks were read: data-holding extents cover all of it.
    uint64_t covered = 0;
    for (const FileExtent& e : w.before)
      if (e.holdsData) covered += e.length;
    EXPECT_GE(covered, data.size()) << folder << ": " << w.before.size() << " extents";
    EXPECT_TRUE(osWriteAll(f, data.data(), data.size()) && osFlush(f)) << folder;
    residueWatchEnd(f, w);
    EXPECT_EQ(w.reason, "") << folder << ": overwritten in place";
  }
  f.close();
  std::remove(path.c_str());
  return why.empty() ? "" : folder + ": " + why;
}

// Measured in the temporary folder, or where that is tmpfs, in the working
// folder (the build tree). ctest runs this case on its own and counts a
// "SKIP:" line as skipped, not passed, with the reason.
TEST(Residue, WatchOnThisMachine) {
  std::string notHere;
  for (const std::string& folder : {testing::TempDir(), std::filesystem::current_path().string()}) {
    std::string why = watchInPlace(folder);
    if (why.empty()) return;
    notHere += (notHere.empty() ? "" : "; ") + why;
  }
  GTEST_SKIP() << "SKIP: residue watch not measured: " << notHere;
}
