// POSIX implementation of os.h, the tree half: directories, listings, the
// opening of files, and the moves and deletes.
//
// Everything is relative to directory descriptors (openat, statx, unlinkat,
// renameat2, never following a link); identities are device and inode.
// Linux cannot rename or unlink through a descriptor, only by a name that
// someone else may exchange (renameat2 RENAME_EXCHANGE) between the check
// and the call. So every move and delete is proved afterwards through the
// descriptor held on the object: the moved name must now hold it, and after
// a delete it must have one link less (none, for an erased file). What does
// not match is put back or reported, never taken as done.
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "wipe/names/paths.h"
#include "wipe/os/os.h"

namespace {
// What an entry is, looked at without following a link.
struct Facts {
  mode_t mode = 0;
  OsFileId id;
  uint64_t size = 0;
  bool mountRoot = false;
};

OsFileId idOf(const struct stat& st) {
  OsFileId id;
  id.volume = (uint64_t)st.st_dev;
  id.index = (uint64_t)st.st_ino;
  return id;
}

// statx where the system has it, for STATX_ATTR_MOUNT_ROOT: a bind mount of
// a folder of the same file system has the same device as its parent, so
// only that attribute tells it apart. Without it (kernels before 5.8, or no
// statx at all) a mount root is one on another device than dirVolume.
bool factsAt(int dirFd, const char* name, int flags, uint64_t dirVolume, Facts& out) {
  static bool noStatx = false;
  if (!noStatx) {
    struct statx sx;
    if (statx(dirFd, name, flags | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE, &sx) == 0) {
      out.mode = sx.stx_mode;
      out.id.volume = (uint64_t)makedev(sx.stx_dev_major, sx.stx_dev_minor);
      out.id.index = sx.stx_ino;
      out.size = sx.stx_size;
      out.mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
                          ? (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0
                          : out.id.volume != dirVolume;
      return true;
    }
    // No statx: not in the kernel, or refused by a system-call filter
    // (older container profiles answer EPERM, which statx itself never does).
    if (errno != ENOSYS && errno != EPERM) return false;
    noStatx = true;
  }
  struct stat st;
  if (fstatat(dirFd, name, &st, flags) != 0) return false;
  out.mode = st.st_mode;
  out.id = idOf(st);
  out.size = (uint64_t)st.st_size;
  out.mountRoot = out.id.volume != dirVolume;
  return true;
}

bool factsOf(int fd, uint64_t dirVolume, Facts& out) { return factsAt(fd, "", AT_EMPTY_PATH, dirVolume, out); }

// True when name in dirFd is still the object id, looked at without
// following a link.
bool stillIs(int dirFd, const char* name, const OsFileId& id, struct stat& st) {
  return fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && idOf(st) == id;
}

// The number of links the descriptor's object has now; false when it cannot
// be had (the callers then take the object as not removed).
bool linksNow(int fd, nlink_t& links) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  links = st.st_nlink;
  return true;
}
}  // namespace

void OsDir::close() {
  if (handle >= 0) ::close((int)handle);
  handle = -1;
}

// Takes over descriptor fd as d; false (fd closed) unless it is a directory.
static bool adoptDir(int fd, OsDir& d) {
  struct stat st;
  if (fd < 0) return false;
  if (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  d.close();
  d.handle = fd;
  d.id = idOf(st);
  return true;
}

bool osOpenDirPath(const char* dirPart, bool lastMayBeLink, OsDir& d) {
  // Trailing slashes go: "link/" would make the system follow the link even
  // with O_NOFOLLOW. "/" stays the root.
  std::string path = *dirPart ? dirPart : ".";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  int flags = O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC | (lastMayBeLink ? 0 : O_NOFOLLOW);
  return adoptDir(open(path.c_str(), flags), d);
}

OsDir* osCurrentDir() {
  static OsDir current;
  static bool tried = false;
  if (!tried) {
    tried = true;
    adoptDir(open(".", O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC), current);
  }
  return current.isOpen() ? &current : nullptr;
}

// Fills e for name in dirFd (of device dirVolume), looked at without
// following a link. False when the name is gone, does not fit, or cannot be
// looked at (errno says which; ENOENT: gone since it was listed).
static bool describe(int dirFd, uint64_t dirVolume, const char* name, OsEntry& e) {
  size_t n = std::strlen(name);
  Facts f;
  if (n >= sizeof e.name) {
    errno = ENAMETOOLONG;
    return false;
  }
  if (!factsAt(dirFd, name, AT_SYMLINK_NOFOLLOW, dirVolume, f)) return false;
  std::memcpy(e.name, name, n + 1);
  e.usable = true;
  e.id = f.id;
  e.size = S_ISREG(f.mode) ? f.size : 0;
  e.mountRoot = f.mountRoot;
  if (S_ISLNK(f.mode)) {
    // A symbolic link has no kind of its own: it stands for a directory when
    // its target is one. A dangling link (or a loop) stands for nothing and
    // counts as a link to a file, removed as a name.
    struct stat target;
    e.kind = fstatat(dirFd, name, &target, 0) == 0 && S_ISDIR(target.st_mode) ? OsNameKind::DirectoryLink
                                                                              : OsNameKind::FileLink;
  } else {
    e.kind = S_ISDIR(f.mode) ? OsNameKind::Directory : OsNameKind::File;
  }
  return true;
}

bool osLookup(OsDir& d, const char* name, OsEntry& e) { return *name && describe((int)d.handle, d.id.volume, name, e); }

namespace {
struct PosixListing {
  DIR* dir = nullptr;
  int dirFd = -1;  // the OsDir's own descriptor, for the lookups
  uint64_t dirVolume = 0;
  std::string namePattern;
  bool all = true;
};
}  // namespace

bool OsListing::first(OsDir& d, const char* namePattern, OsEntry& e) {
  close();
  failed = false;
  // The stream gets a descriptor of its own (closedir closes it) on the same
  // open directory: the listing is of what d holds, not of a path.
  int fd = dup((int)d.handle);
  DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
  if (!dir) {
    if (fd >= 0) ::close(fd);
    failed = true;
    return false;
  }
  rewinddir(dir);
  PosixListing* s = new PosixListing;
  s->dir = dir;
  s->dirFd = (int)d.handle;
  s->dirVolume = d.id.volume;
  s->all = namePattern == nullptr;
  if (namePattern) s->namePattern = namePattern;
  state = s;
  return next(e);
}

bool OsListing::next(OsEntry& e) {
  PosixListing* s = static_cast<PosixListing*>(state);
  if (!s || !s->dir) return false;
  for (;;) {
    // readdir says "no more" and "could not read" alike, by its null; only
    // errno tells them apart (a damaged directory block, an I/O error).
    errno = 0;
    dirent* d = readdir(s->dir);
    if (!d) {
      if (errno != 0) failed = true;
      return false;
    }
    if (!s->all && !matchName(s->namePattern.c_str(), d->d_name)) continue;
    if (describe(s->dirFd, s->dirVolume, d->d_name, e)) return true;
    // Gone since the listing was read is no error; an entry that cannot be
    // looked at is one that may be missed.
    if (errno != ENOENT) failed = true;
  }
}

void OsListing::close() {
  PosixListing* s = static_cast<PosixListing*>(state);
  if (s) {
    if (s->dir) closedir(s->dir);
    delete s;
  }
  state = nullptr;
}

bool osOpenDirAt(OsDir& parent, const OsEntry& e, OsDir& out) {
  int fd = openat((int)parent.handle, e.name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  OsDir opened;
  Facts f;
  // A directory that has become a mount root since it was listed (an
  // automount, say) is not the one that was listed either.
  if (!adoptDir(fd, opened) || !(opened.id == e.id) || !factsOf((int)opened.handle, parent.id.volume, f) ||
      f.mountRoot != e.mountRoot)
    return false;
  out.close();
  out.handle = opened.handle;
  out.id = opened.id;
  opened.handle = -1;
  return true;
}

bool osRemoveDirAt(OsDir& parent, const OsEntry& e, OsDir& dir) {
  // dir stays open across the removal: a directory removed has no link left,
  // which proves that the name removed was this directory and not one
  // exchanged for it after the check.
  struct stat st;
  nlink_t links = 1;
  bool gone = stillIs((int)parent.handle, e.name, dir.id, st) && S_ISDIR(st.st_mode) &&
              unlinkat((int)parent.handle, e.name, AT_REMOVEDIR) == 0 && linksNow((int)dir.handle, links) && links == 0;
  dir.close();
  return gone;
}

bool osRemoveLinkAt(OsDir& d, const OsEntry& e) {
  int fd = openat((int)d.handle, e.name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat held, st;
  nlink_t after = 0;
  bool gone = fstat(fd, &held) == 0 && S_ISLNK(held.st_mode) && idOf(held) == e.id &&
              stillIs((int)d.handle, e.name, e.id, st) && unlinkat((int)d.handle, e.name, 0) == 0 &&
              linksNow(fd, after) && after < held.st_nlink;
  ::close(fd);
  return gone;
}

void OsFile::close() {
  if (handle >= 0) ::close((int)handle);
  handle = -1;
}

// Opens for update the object that pathFd (an O_PATH descriptor of name in
// dirFd, checked to be the regular file that was listed) holds. Through
// /proc/self/fd the open reaches that very inode, whatever the name holds
// by now. Without /proc the name is opened again: O_NOFOLLOW refuses a link
// exchanged for it since, O_NONBLOCK keeps a FIFO from holding the open up
// and O_NOCTTY a terminal from becoming ours; the caller compares what was
// opened once more. (The one weakness left: there, a FIFO exchanged for the
// file between the check and the open is opened, and its peers see it.)
static int reopenForUpdate(int dirFd, const char* name, int pathFd) {
  const int flags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
  char self[32];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", pathFd);
  int fd = open(self, flags);
  if (fd >= 0 || errno != ENOENT) return fd;
  return openat(dirFd, name, flags | O_NOFOLLOW);
}

// A read-only file (no write permission for its owner) gets it through the
// O_PATH descriptor of the very object that was checked, never by path.
// O_PATH needs no permission at all; its /proc/self/fd name leads to that
// object alone. Without /proc the file simply stays read-only.
static bool clearReadOnly(int pathFd, const Facts& f) {
  if (f.mode & S_IWUSR) return false;
  char self[32];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", pathFd);
  return chmod(self, (f.mode & 07777) | S_IWUSR) == 0;
}

OsOpenResult osOpenFileAt(OsDir& d, const OsEntry& e, OsFile& f) {
  // Nothing but a regular file is ever opened for reading or writing: an
  // open has effects of its own on others (a FIFO's waiting peer is released,
  // a terminal may become the controlling one). O_PATH opens nothing: the
  // type, identity and mount are checked on it first.
  int dirFd = (int)d.handle;
  int pathFd = openat(dirFd, e.name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (pathFd < 0) return OsOpenResult::Failed;
  Facts held;
  if (!factsOf(pathFd, d.id.volume, held)) {
    ::close(pathFd);
    return OsOpenResult::Failed;
  }
  if (S_ISLNK(held.mode)) {
    ::close(pathFd);
    return OsOpenResult::IsLink;
  }
  if (!S_ISREG(held.mode) || !(held.id == e.id) || held.mountRoot != e.mountRoot) {
    ::close(pathFd);
    return OsOpenResult::Failed;
  }
  int fd = reopenForUpdate(dirFd, e.name, pathFd);
  if (fd < 0 && errno == EACCES && clearReadOnly(pathFd, held)) fd = reopenForUpdate(dirFd, e.name, pathFd);
  bool swappedForLink = fd < 0 && errno == ELOOP;
  ::close(pathFd);
  if (fd < 0) return swappedForLink ? OsOpenResult::IsLink : OsOpenResult::Failed;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !(idOf(st) == e.id)) {
    ::close(fd);
    return OsOpenResult::Failed;
  }
  // O_NONBLOCK stays: it means nothing to a regular file.
  f.close();
  f.handle = fd;
  f.linkCount = (uint32_t)st.st_nlink;
  f.id = idOf(st);
  return OsOpenResult::Opened;
}

// After a rename of what name in from held to to in into: Moved when to now
// holds f. Otherwise the name held another object when the rename ran (one
// exchanged for the file after the check): it goes back where it came from.
// Where that fails (the old name was taken again meanwhile) it is removed as
// a name, as a link in a tree is: it was a name of the tree (a directory
// that is not empty cannot be, and stays). f is then Lost.
static OsMoveResult provedMove(int from, const char* name, int into, const char* to, const OsFile& f) {
  struct stat st;
  if (fstatat(into, to, &st, AT_SYMLINK_NOFOLLOW) != 0) return OsMoveResult::Lost;
  if (idOf(st) == f.id) return OsMoveResult::Moved;
  OsFileId other = idOf(st);
  if (renameat2(into, to, from, name, RENAME_NOREPLACE) != 0 && !S_ISDIR(st.st_mode) && stillIs(into, to, other, st))
    unlinkat(into, to, 0);
  return OsMoveResult::Lost;
}

OsMoveResult osMoveToCurrentDir(OsDir& d, const OsEntry& e, OsFile& f, const char* to) {
  OsDir* current = osCurrentDir();
  struct stat st;
  if (!current) return OsMoveResult::NotMoved;
  if (!stillIs((int)d.handle, e.name, f.id, st)) return OsMoveResult::Lost;
  int from = (int)d.handle, into = (int)current->handle;
  // Another file system: the rename fails (EXDEV) and the file is deleted
  // where it is; it is never copied.
  if (renameat2(from, e.name, into, to, RENAME_NOREPLACE) == 0) return provedMove(from, e.name, into, to, f);
  if (errno != EINVAL && errno != ENOSYS) return OsMoveResult::NotMoved;
  // File systems without the flag: a hard link fails on an existing name
  // just as the rename should. A link made to another object is undone; one
  // of ours whose old name then unlinks another object leaves the file with
  // a second link, which the delete's proof reports.
  if (linkat(from, e.name, into, to, 0) != 0) return OsMoveResult::NotMoved;
  if (fstatat(into, to, &st, AT_SYMLINK_NOFOLLOW) != 0) return OsMoveResult::Lost;
  if (!(idOf(st) == f.id)) {
    unlinkat(into, to, 0);  // the link just made, to the other object
    return OsMoveResult::Lost;
  }
  if (unlinkat(from, e.name, 0) != 0) {
    if (stillIs(into, to, f.id, st)) unlinkat(into, to, 0);
    return OsMoveResult::NotMoved;
  }
  return OsMoveResult::Moved;
}

// An NFS client does not unlink a file that is still open: it renames it to
// a hidden ".nfsXXXX" name in the same directory and removes that name when
// the last descriptor closes, so the descriptor still shows one link. Such a
// delete is proved by finding the file under a ".nfs" name of d; a file
// merely moved away by someone else is not there.
static bool sillyRenamedIn(int dirFd, const OsFileId& id) {
  struct statfs fs;
  if (fstatfs(dirFd, &fs) != 0 || fs.f_type != NFS_SUPER_MAGIC) return false;
  int fd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC);
  DIR* listing = fd < 0 ? nullptr : fdopendir(fd);
  if (!listing) {
    if (fd >= 0) close(fd);
    return false;
  }
  bool found = false;
  struct stat st;
  while (struct dirent* entry = readdir(listing)) {
    if (std::strncmp(entry->d_name, ".nfs", 4) == 0 && stillIs(dirFd, entry->d_name, id, st)) {
      found = true;
      break;
    }
  }
  closedir(listing);
  return found;
}

bool osDeleteFileAt(OsDir& d, const char* name, OsFile& f) {
  // Only the name that still leads to the open file goes: one swapped in
  // since is someone else's. The check and the unlink are two calls, so the
  // unlink is proved through the descriptor: a file that was opened as its
  // only name must have none left; one with other names, one less.
  struct stat there;
  nlink_t before = 0, after = 1;
  bool unlinked = stillIs((int)d.handle, name, f.id, there) && linksNow((int)f.handle, before) &&
                  unlinkat((int)d.handle, name, 0) == 0;
  bool gone = unlinked && linksNow((int)f.handle, after) && (f.linkCount <= 1 ? after == 0 : after < before);
  if (unlinked && !gone && f.linkCount <= 1) gone = sillyRenamedIn((int)d.handle, f.id);
  f.close();
  return gone;
}
