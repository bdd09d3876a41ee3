// Knowing when the device under a file keeps what is overwritten.
//
// Solid-state drives, USB sticks and memory cards put every write on fresh
// flash pages and keep the old pages, out of the system's reach, until the
// drive itself clears them. A file overwritten in place there is gone from
// the file system, but its old contents stay on the device, and nothing
// about the file shows it: the device does. So the first time a run erases
// a file on such a device, one line on standard error names the device and
// why; the per-file warnings (residue.h) stay as they are. Standard output
// and exit codes do not change.
//
// The decisions are portable: the walk over the Linux device tree reads it
// through the seam of devtree.h, and the Windows answers are read from
// their byte records (winstorage.h). The platform halves only ask:
// medium_posix.cpp (the file's device number), medium_win32.cpp (the
// volume's disks and what each says of itself, asked with no access
// rights, so that a standard user gets the answer too). Where the system
// cannot tell, nothing is said.
#pragma once

#include <cstdint>
#include <string>

#include "wipe/os/winstorage.h"

struct OsFile;

// What holds the file: the file system's device, and the device below it
// found to keep old pages (kind set), if any.
struct MediumFinding {
  const char* kind = nullptr;  // one of the kinds below; null: nothing found
  std::string device;          // as printed: "/dev/sda1", "/dev/mapper/vg-home", "C:"
  std::string holder;          // "sda", "PhysicalDrive0 (Samsung SSD 860)"
};

extern const char* const kMediumSolidState;     // "solid-state drive"
extern const char* const kMediumRemovableFlash;  // a removable USB device or memory card

// Linux: from device major:minor (the file system's) up from a partition to
// its disk and down through the layers below it (device-mapper and md
// members, a loop device's backing file and that file's device), every
// device on the way. A device reporting queue/rotational 0 is solid-state;
// a removable device on a USB bus is taken for flash. device is set from
// the tree even when nothing is found; both stay empty when the device has
// no place in the tree (network and memory file systems).
MediumFinding mediumBelowLinuxDevice(unsigned major, unsigned minor);

// Windows: one disk's answers, each -1 where the query failed. No seek
// penalty means solid-state; a seek penalty means a spinning disk, whatever
// else it says. Without that answer, a disk that takes TRIM is taken for
// solid-state, and a removable disk on a USB, SD or MMC bus for flash.
// Null when nothing says so.
const char* flashKindOfWindowsDisk(int seekPenalty, int trimEnabled, const WinDiskDescriptor& d);

// The text inside the warning's parentheses: "HOLDER is a KIND: ...".
std::string mediumReason(const MediumFinding& m);

// Platform half: the finding for the device of open file f (asked once per
// device per run, see below).
MediumFinding mediumOfFile(OsFile& f);

// Looks up the device of f the first time a run meets it (by f.id.volume).
void mediumNote(OsFile& f);

// Prints "warning: the old contents of files erased on DEVICE may remain on
// the disk (REASON)" for the device volume (as noted) the first time it is
// asked in a run, when a kind was found; nothing otherwise.
void printMediumWarning(uint64_t volume);
