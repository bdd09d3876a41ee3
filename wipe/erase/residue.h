// Knowing when overwriting a file in place cannot reach its old contents.
//
// The passes erase only what lies in the blocks they are written to. Some
// storage puts every write somewhere new: copy-on-write and log-structured
// file systems, compressed files, blocks shared with a copy of the file. The
// old blocks then keep the old contents after the passes. Such a file is
// still erased as any other (the user wants it gone), but one line on
// standard error says that its contents may remain.
//
// The decisions are portable and live in residue.cpp; the platform halves
// (residue_posix.cpp, residue_win32.cpp) only gather the facts: the file
// system's type and the file's extents on Linux (fstatfs, FIEMAP), the
// file's attributes, the reparse tag of a file opened through its filter and
// its volume's file-system name on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct OsFile;

// Reasons, as printed inside the warning's parentheses.
extern const char* const kReasonCopyOnWrite;     // btrfs, zfs, bcachefs
extern const char* const kReasonLogStructured;   // nilfs2
extern const char* const kReasonCompressed;      // Windows compressed file
extern const char* const kReasonBlocksMoved;     // extents differ before and after
extern const char* const kReasonJournalledData;  // ext4 data=journal, or a file with chattr +j
extern const char* const kReasonNetwork;         // NFS, SMB/CIFS, ...; on Windows any remote volume
extern const char* const kReasonUnion;           // aufs: a lower branch may hold the original

// Linux statfs type of an overlay mount: whether a lower layer holds the
// file's original is asked of the layers themselves (overlay.h).
constexpr uint32_t kOverlayFileSystemType = 0x794C7630u;

// The file-system type of Linux statfs (f_type, a 32-bit magic number) that
// writes elsewhere by design, or whose blocks are another machine's to
// place (a network file system: the server's own file system may be
// copy-on-write, snapshotted or deduplicated): its reason, or null for
// every other type.
// noCopyOnWrite is the file's own flag (chattr +C): btrfs then overwrites it
// in place unless its blocks are shared, which the extents show, so btrfs
// gives no reason by type for such a file.
const char* reasonForFileSystemType(uint32_t type, bool noCopyOnWrite);

// True when the mount of device major:minor, as listed in mountinfo text
// (the format of /proc/self/mountinfo), writes file data through its journal
// (the super option data=journal). The journal keeps a copy of each write
// until the journal wraps round: overwriting the file does not reach it.
bool mountInfoJournalsData(const std::string& mountInfo, unsigned major, unsigned minor);

// The same for the text of ext4's /proc/fs/ext4/DEVICE/options, which lists
// every option in force, one a line, those taken from the file system's own
// defaults (tune2fs -o journal_data) included, which mountinfo leaves out.
bool ext4OptionsJournalData(const std::string& options);

// One run of a file's data on the device, in bytes. holdsData is false where
// the device holds none of the file's contents: no place chosen yet (delayed
// allocation, or a place the file system cannot tell), or space reserved but
// never written. Such a run cannot have kept anything, wherever it goes.
struct FileExtent {
  uint64_t physical;
  uint64_t length;
  bool holdsData;
};

// True when some byte of a data-holding extent of before lies in no
// data-holding extent of after: the file left blocks behind while it was
// overwritten. How the extents are split, merged or ordered does not matter.
bool blocksMoved(const std::vector<FileExtent>& before, const std::vector<FileExtent>& after);

// Windows: the reason for a file with the compressed attribute, for a file
// whose contents a file-system filter keeps (a reparse point that is no
// link, reparseTag not 0: compressed by the overlay filter, deduplicated
// into the volume's chunk store, a cloud file, one held by a storage
// manager: overwriting it through the filter leaves those copies), or on a
// volume whose file system (as the system names it) is not one known to
// overwrite in place (NTFS, FAT, FAT32, exFAT); empty when there is none.
// A null or empty name means the system could not tell: no reason. A file
// on a remote volume (remote set) has the network's reason before any
// other: the name its server reports says nothing of where its bytes go.
std::string reasonForWindowsFile(bool compressed, uint32_t reparseTag, const char* volumeFileSystem,
                                 bool remote);

// Watches one file's erase: started once the file is open, ended after its
// last pass. reason stays empty while nothing speaks against the overwrite.
struct ResidueWatch {
  std::string reason;
  uint64_t length = 0;
  uint64_t volume = 0;  // the file's device (OsFileId::volume), for the device's line (medium.h)
  bool haveExtents = false;  // before holds the extents taken at the start
  std::vector<FileExtent> before;
};

// Platform halves. Facts that cannot be had leave the reason empty: the
// warning is given only where the facts show a reason, never by guess.
void residueWatchStart(OsFile& f, uint64_t length, ResidueWatch& w);
void residueWatchEnd(OsFile& f, ResidueWatch& w);

// Prints "warning: the old contents of PATH may remain on the disk (REASON)"
// on standard error when the watch found a reason; nothing otherwise.
// Before it, the first file of the run on a device that keeps old flash
// pages brings that device's line (medium.h). Standard output is flushed
// first, so that a combined output keeps order.
void printResidueWarning(const char* path, const ResidueWatch& w);
