// The storage under a file: the walk over a made-up Linux device tree (this
// file defines the tree seam of devtree.h), the Windows disk answers read
// from byte records, and the warning once per device per run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "open_named.h"
#include "scratch_path.h"
#include "wipe/erase/medium.h"
#include "wipe/erase/report.h"
#include "wipe/os/devtree.h"
#include "wipe/os/os.h"
#include "wipe/os/winstorage.h"

namespace {
struct Tree {
  std::map<std::string, std::string> texts, links;
  std::map<std::string, std::vector<std::string>> folders;
  std::map<std::string, std::pair<unsigned, unsigned>> backing;
};
Tree tree;

const std::string kPci = "/sys/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/";
const std::string kUsb = "/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/";
const std::string kVirtual = "/sys/devices/virtual/block/";

// A disk (with its partitions) at folder, reachable as major:minor.
void disk(const std::string& folder, const char* number, const char* rotational, const char* removable) {
  tree.links["/sys/dev/block/" + std::string(number)] = "../.." + folder.substr(4);
  if (rotational) tree.texts[folder + "/queue/rotational"] = std::string(rotational) + "\n";
  if (removable) tree.texts[folder + "/removable"] = std::string(removable) + "\n";
}

void partition(const std::string& diskFolder, const std::string& name, const char* number) {
  tree.links["/sys/dev/block/" + std::string(number)] = "../.." + diskFolder.substr(4) + "/" + name;
  tree.texts[diskFolder + "/" + name + "/partition"] = "1\n";
}

void member(const std::string& folder, const std::string& name, const std::string& target) {
  tree.folders[folder + "/slaves"].push_back(name);
  tree.links[folder + "/slaves/" + name] = target;
}

void buildTree() {
  disk(kPci + "sda", "8:0", "0", "0");  // an SSD, partitioned
  partition(kPci + "sda", "sda1", "8:1");
  partition(kPci + "sda", "sda2", "8:2");
  disk(kPci + "sdb", "8:16", "1", "0");  // a spinning disk
  partition(kPci + "sdb", "sdb1", "8:17");
  disk("/sys/devices/pci0000:00/0000:00:06.0/nvme/nvme0/nvme0n1", "259:0", "0", "0");
  disk(kVirtual + "dm-0", "253:0", "1", "0");  // an encrypted volume over sda2
  tree.texts[kVirtual + "dm-0/dm/name"] = "cryptroot\n";
  member(kVirtual + "dm-0", "sda2", "../../../../pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda/sda2");
  disk(kVirtual + "md0", "9:0", "1", "0");  // a mirror of sdb1 and sda1
  member(kVirtual + "md0", "sdb1", "../../../../pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sdb/sdb1");
  member(kVirtual + "md0", "sda1", "../../../../pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda/sda1");
  disk(kVirtual + "md1", "9:1", "1", "0");  // over spinning members only
  member(kVirtual + "md1", "sdb1", "../../../../pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sdb/sdb1");
  member(kVirtual + "md1", "escape", "../../../../../../etc");
  disk(kVirtual + "loop0", "7:0", "1", "0");  // backed by a file on the SSD
  tree.texts[kVirtual + "loop0/loop/backing_file"] = "/home/u/disk image.img\n";
  tree.backing["/home/u/disk image.img"] = {8, 1};
  disk(kVirtual + "loop1", "7:1", "0", "0");  // set solid-state, partitioned
  partition(kVirtual + "loop1", "loop1p1", "259:1");
  disk(kVirtual + "loop2", "7:2", "1", "0");  // backed by a file on itself
  tree.texts[kVirtual + "loop2/loop/backing_file"] = "/mnt/l2/x.img\n";
  tree.backing["/mnt/l2/x.img"] = {7, 2};
  disk(kVirtual + "loop3", "7:3", "1", "0");  // backing file gone
  tree.texts[kVirtual + "loop3/loop/backing_file"] = "/tmp/gone.img (deleted)\n";
  disk(kUsb + "sdc", "8:32", "1", "1");  // a USB stick
  partition(kUsb + "sdc", "sdc1", "8:33");
  disk(kPci + "sdd", "8:48", "1", "1");  // a removable disk, not on USB
  disk("/sys/devices/platform/usbhost0/block/sde", "8:64", "1", "1");  // "usb" only in a name
  disk(kVirtual + "loop4", "7:4", nullptr, nullptr);  // tells nothing
}
}  // namespace

bool devTreeReadText(const std::string& path, std::string& text) {
  auto it = tree.texts.find(path);
  if (it == tree.texts.end()) return false;
  text = it->second;
  return true;
}

bool devTreeReadLink(const std::string& path, std::string& target) {
  auto it = tree.links.find(path);
  if (it == tree.links.end()) return false;
  target = it->second;
  return true;
}

bool devTreeList(const std::string& path, std::vector<std::string>& names) {
  auto it = tree.folders.find(path);
  if (it == tree.folders.end()) return false;
  names = it->second;
  return true;
}

bool devTreeBackingDevice(const std::string& path, unsigned& major, unsigned& minor) {
  auto it = tree.backing.find(path);
  if (it == tree.backing.end()) return false;
  major = it->second.first;
  minor = it->second.second;
  return true;
}

TEST(Medium, LinuxDeviceTree) {
  tree = Tree();
  buildTree();
  struct Case {
    unsigned major, minor;
    const char* kind;  // null: nothing found
    const char* device;
    const char* holder;
    const char* what;
  } cases[] = {
      {8, 1, kMediumSolidState, "/dev/sda1", "sda", "partition of an SSD: its disk answers"},
      {8, 0, kMediumSolidState, "/dev/sda", "sda", "the SSD itself"},
      {8, 17, nullptr, "/dev/sdb1", "", "partition of a spinning disk"},
      {259, 0, kMediumSolidState, "/dev/nvme0n1", "nvme0n1", "NVMe namespace"},
      {253, 0, kMediumSolidState, "/dev/mapper/cryptroot", "sda", "device-mapper over an SSD partition"},
      {9, 0, kMediumSolidState, "/dev/md0", "sda", "mirror with one SSD member"},
      {9, 1, nullptr, "/dev/md1", "", "mirror of spinning disks; a member link out of /sys is not followed"},
      {7, 0, kMediumSolidState, "/dev/loop0", "sda", "loop device over a file on the SSD"},
      {259, 1, kMediumSolidState, "/dev/loop1p1", "loop1", "partition of a loop device set solid-state"},
      {7, 2, nullptr, "/dev/loop2", "", "loop device over a file on itself: walked once"},
      {7, 3, nullptr, "/dev/loop3", "", "backing file gone"},
      {8, 33, kMediumRemovableFlash, "/dev/sdc1", "sdc", "partition of a USB stick"},
      {8, 48, nullptr, "/dev/sdd", "", "removable but not on USB"},
      {8, 64, nullptr, "/dev/sde", "", "a folder name that only starts with usb"},
      {7, 4, nullptr, "/dev/loop4", "", "no queue, no removable"},
      {0, 45, nullptr, "", "", "no block device (tmpfs, NFS, overlay)"},
  };
  for (const Case& c : cases) {
    MediumFinding m = mediumBelowLinuxDevice(c.major, c.minor);
    EXPECT_EQ(m.kind, c.kind) << c.what;
    EXPECT_EQ(m.device, c.device) << c.what;
    EXPECT_EQ(m.holder, c.holder) << c.what;
  }
}

TEST(Medium, WindowsDiskAnswers) {
  WinDiskDescriptor fixed, usbStick, sdCard, usbFixed;
  fixed.removable = 0, fixed.busType = 11;  // SATA
  usbStick.removable = 1, usbStick.busType = kBusTypeUsb;
  sdCard.removable = 1, sdCard.busType = kBusTypeSd;
  usbFixed.removable = 0, usbFixed.busType = kBusTypeUsb;
  struct Case {
    int seekPenalty, trim;
    const WinDiskDescriptor& d;
    const char* want;
    const char* what;
  } cases[] = {
      {0, 1, fixed, kMediumSolidState, "no seek penalty, TRIM"},
      {0, -1, fixed, kMediumSolidState, "no seek penalty, TRIM not answered"},
      {1, 1, fixed, nullptr, "seek penalty with TRIM (a thin-provisioned disk)"},
      {1, -1, usbStick, nullptr, "a USB disk that says it seeks"},
      {-1, 1, fixed, kMediumSolidState, "no seek answer, TRIM"},
      {-1, 0, fixed, nullptr, "no seek answer, no TRIM"},
      {-1, -1, usbStick, kMediumRemovableFlash, "removable on USB"},
      {-1, -1, sdCard, kMediumRemovableFlash, "removable SD card"},
      {-1, -1, usbFixed, nullptr, "a fixed USB disk"},
      {-1, -1, WinDiskDescriptor(), nullptr, "nothing answered"},
  };
  for (const Case& c : cases) EXPECT_EQ(flashKindOfWindowsDisk(c.seekPenalty, c.trim, c.d), c.want) << c.what;
}

namespace {
using Bytes = std::vector<unsigned char>;

void put(Bytes& b, size_t at, uint64_t v, int bytes) {
  if (b.size() < at + bytes) b.resize(at + bytes, 0);
  for (int i = 0; i < bytes; ++i) b[at + i] = (unsigned char)(v >> (8 * i));
}

Bytes ranges(std::initializer_list<std::pair<uint64_t, uint64_t>> runs) {
  Bytes b;
  for (const auto& r : runs) {
    size_t at = b.size();
    put(b, at, r.first, 8);
    put(b, at + 8, r.second, 8);
  }
  return b;
}
}  // namespace

TEST(WindowsStorageRecords, AllocatedRanges) {
  const uint64_t M = 1 << 20;
  struct Case {
    Bytes bytes;
    uint64_t from, end;
    bool valid, found;
    uint64_t offset, length;
    const char* what;
  } cases[] = {
      {ranges({{0, 4 * M}}), 0, 4 * M, true, true, 0, 4 * M, "all allocated"},
      {ranges({{2 * M, M}, {8 * M, M}}), 0, 16 * M, true, true, 2 * M, M, "first run after a hole"},
      {ranges({{2 * M, M}, {8 * M, M}}), 3 * M, 16 * M, true, true, 8 * M, M, "a run that ended before from"},
      {ranges({{2 * M, 4 * M}}), 3 * M, 16 * M, true, true, 3 * M, 3 * M, "clipped at from"},
      {ranges({{2 * M, 4 * M}}), 0, 5 * M, true, true, 2 * M, 3 * M, "clipped at end"},
      {ranges({{8 * M, M}}), 0, 4 * M, true, false, 0, 0, "only after end"},
      {ranges({{M, 0}, {2 * M, M}}), 0, 4 * M, true, true, 2 * M, M, "an empty run is skipped"},
      {Bytes(), 0, 4 * M, true, false, 0, 0, "nothing allocated"},
      {Bytes(15, 0), 0, 4 * M, false, false, 0, 0, "a partial record"},
      {ranges({{0x8000000000000000ull, 1}}), 0, 4 * M, false, false, 0, 0, "negative offset"},
      {ranges({{0x7FFFFFFFFFFFFFFFull, 2}}), 0, 4 * M, false, false, 0, 0, "run past 2^63"},
  };
  for (const Case& c : cases) {
    bool found = true;
    OsDataRange r;
    EXPECT_EQ(readFirstAllocatedRange(c.bytes.data(), c.bytes.size(), c.from, c.end, found, r), c.valid) << c.what;
    EXPECT_EQ(found, c.found) << c.what;
    if (c.found && found) {
      EXPECT_EQ(std::make_pair(r.offset, r.length), std::make_pair(c.offset, c.length)) << c.what;
    }
  }
}

TEST(WindowsStorageRecords, DisksAndDescriptors) {
  auto extents = [](std::vector<uint32_t> numbers, uint32_t count) {
    Bytes b(8 + 24 * numbers.size(), 0);
    put(b, 0, count, 4);
    for (size_t i = 0; i < numbers.size(); ++i) put(b, 8 + 24 * i, numbers[i], 4);
    return b;
  };
  struct DiskCase {
    Bytes bytes;
    bool valid;
    std::vector<uint32_t> disks;
    const char* what;
  } diskCases[] = {
      {extents({0}, 1), true, {0}, "one disk"},
      {extents({2, 1, 2}, 3), true, {2, 1}, "spanned, each disk once"},
      {extents({0, 1}, 3), false, {}, "count larger than the record"},
      {extents({}, 0), false, {}, "no extents"},
      {Bytes(4, 0), false, {}, "short"},
  };
  for (const DiskCase& c : diskCases) {
    std::vector<uint32_t> disks;
    EXPECT_EQ(readVolumeDisks(c.bytes.data(), c.bytes.size(), disks), c.valid) << c.what;
    if (c.valid) {
      EXPECT_EQ(disks, c.disks) << c.what;
    }
  }

  auto flag = [](uint32_t size, unsigned char value, size_t length) {
    Bytes b(length, 0);
    put(b, 0, 1, 4);
    put(b, 4, size, 4);
    if (length > 8) b[8] = value;
    return b;
  };
  struct FlagCase {
    Bytes bytes;
    int want;
  } flagCases[] = {{flag(12, 1, 12), 1}, {flag(12, 0, 12), 0}, {flag(8, 1, 12), -1}, {flag(12, 1, 8), -1}};
  for (const FlagCase& c : flagCases) EXPECT_EQ(readDescriptorFlag(c.bytes.data(), c.bytes.size()), c.want);

  // A STORAGE_DEVICE_DESCRIPTOR: removable at 10, bus at 28, texts by offset.
  auto descriptor = [](uint32_t size, bool removable, uint32_t bus, const char* vendor, const char* product) {
    Bytes b(40, 0);
    put(b, 4, size, 4);
    b[10] = removable;
    put(b, 28, bus, 4);
    for (const char* text : {vendor, product}) {
      if (!text) continue;
      put(b, text == vendor ? 12 : 16, b.size(), 4);
      b.insert(b.end(), text, text + std::strlen(text) + 1);
    }
    if (size == 0) put(b, 4, b.size(), 4);
    return b;
  };
  struct DescriptorCase {
    Bytes bytes;
    bool valid;
    int removable, bus;
    const char* model;
    const char* what;
  } descriptorCases[] = {
      {descriptor(0, false, 11, "ATA     ", "Samsung SSD 860"), true, 0, 11, "ATA Samsung SSD 860", "SATA disk"},
      {descriptor(0, true, 7, nullptr, "Cruzer\x01\x7F"), true, 1, 7, "Cruzer??", "USB stick, odd bytes"},
      {descriptor(0, true, 0x1000, nullptr, nullptr), true, 1, -1, "", "bus out of range, no texts"},
      {descriptor(40, false, 11, "ATA", "Samsung"), true, 0, 11, "", "texts past the record's own size"},
      {Bytes(20, 0), false, -1, -1, "", "short"},
  };
  for (const DescriptorCase& c : descriptorCases) {
    WinDiskDescriptor d;
    EXPECT_EQ(readDiskDescriptor(c.bytes.data(), c.bytes.size(), d), c.valid) << c.what;
    EXPECT_EQ(d.removable, c.removable) << c.what;
    EXPECT_EQ(d.busType, c.bus) << c.what;
    EXPECT_EQ(d.model, c.model) << c.what;
  }

  struct RemoteCase {
    uint32_t deviceType, characteristics;
    size_t length;
    int want;
    const char* what;
  } remoteCases[] = {
      {0x14, 0x10, 8, 1, "network file system"},
      {0x07, 0x10, 8, 1, "disk device marked remote (a mapped share)"},
      {0x07, 0x00, 8, 0, "local disk"},
      {0x14, 0x00, 7, -1, "short"},
  };
  for (const RemoteCase& c : remoteCases) {
    Bytes b(8, 0);
    put(b, 0, c.deviceType, 4);
    put(b, 4, c.characteristics, 4);
    EXPECT_EQ(readVolumeIsRemote(b.data(), c.length), c.want) << c.what;
  }
}

// The run's first file on a device found to keep old pages brings one line
// naming the device; every later file on it brings none.
TEST(Medium, OnceForEachDevice) {
  tree = Tree();
  buildTree();
  std::string path = scratchPath("medium.bin");
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fclose(out);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  // The scratch folder's device, made an NVMe namespace in the tree.
  tree.links["/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev))] =
      "../../devices/pci0000:00/0000:00:06.0/nvme/nvme0/nvme0n1";
  OsDir dir;
  OsFile f;
  ASSERT_EQ(openNamed(path, dir, f), OsOpenResult::Opened);
  Transcript seen;
  activeTranscript = &seen;
  for (int file = 0; file < 3; ++file) {
    mediumNote(f);
    printMediumWarning(f.id.volume);
  }
  printMediumWarning(f.id.volume + 1);  // a device never noted
  activeTranscript = nullptr;
  ASSERT_EQ(seen.lines.size(), 1u);
  EXPECT_TRUE(seen.lines[0].warning);
  EXPECT_EQ(seen.lines[0].text,
            "warning: the old contents of files erased on /dev/nvme0n1 may remain on the disk (nvme0n1 is a "
            "solid-state drive: it writes to fresh flash pages and keeps the old ones until it clears them)\n");
  f.close();
  std::remove(path.c_str());
}
