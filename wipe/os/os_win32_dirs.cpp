// Directories for os.h on Windows: opened once by path, then listed, looked
// up in, entered and removed through handles only.
//
// Every listing and every look-up works on a handle of its own, reopened
// from the directory's: the system keeps a listing's position and its name
// filter in the handle (the filter is fixed at the first query), so two
// listings of one directory, or a look-up amid a listing, would disturb one
// another on a shared handle.
//
// Who an entry is: its file index from the listing, on the volume of the
// directory it was listed from (a mount point, the only entry on another
// volume, is a link and never entered). Every open of an entry compares the
// handle's volume serial number and file index with that.
//
// Under Wine a POSIX symbolic link is opened through even with
// FILE_OPEN_REPARSE_POINT. A link to a directory shows in the listing with
// the reparse attribute and tag 0, which makes it a directory link here; a
// link swapped in after the listing gives another file index; and a handle
// reached through any link, a link to a file included (which the listing
// shows as a plain file), is named by its target's path (handleNamedIn).
// All three are refused.
#include <vector>

#include "wipe/names/winmatch.h"
#include "wipe/os/reparse.h"
#include "wipe/os/win32_io.h"

namespace {
const ACCESS_MASK kListAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
const ULONG kDirOptions = kNtDirectoryFile | kNtSynchronousIoNonalert | kNtOpenReparsePoint | kNtOpenForBackupIntent;
// Big enough for hundreds of entries per query; a record is at most 104
// bytes plus a name of 255 units.
const size_t kListBuffer = 64 * 1024;

// Makes d the owner of h when h is a directory.
bool adoptDir(WinHandle& h, bool verbatim, OsDir& d) {
  BY_HANDLE_FILE_INFORMATION info;
  OsFileId id;
  if (!handleIdentity(h.h, info, id) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  d.close();
  d.handle = reinterpret_cast<intptr_t>(h.release());
  d.id = id;
  d.verbatim = verbatim;
  return true;
}

bool openDirByPath(const std::u16string& path, ACCESS_MASK access, bool verbatim, OsDir& d) {
  WinHandle h;
  h.h = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), access, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  return h.isOpen() && adoptDir(h, verbatim, d);
}

// A fresh handle on the directory d holds, for a listing or look-up of its own.
bool reopenForListing(OsDir& d, WinHandle& h) {
  return d.isOpen() && ntSucceeded(openAt(asHandle(d.handle), u"", FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                          kNtDirectoryFile | kNtSynchronousIoNonalert | kNtOpenForBackupIntent, h));
}

// The entry of d that name names exactly, by its long or its 8.3 name, case
// ignored (the file system's own test of a name without wildcards).
bool lookupRecord(OsDir& d, const std::u16string& name, DirRecord& r) {
  // The file system would take these as wildcards or as a path or stream;
  // no name in a directory holds them.
  if (name.empty() || name.find_first_of(u"*?<>\"\\/:") != std::u16string::npos) return false;
  WinHandle h;
  if (!reopenForListing(d, h)) return false;
  std::vector<unsigned char> buffer(4096);
  NtUnicodeString filter;
  filter.Length = filter.MaximumLength = (USHORT)(name.size() * 2);
  filter.Buffer = const_cast<PWSTR>(reinterpret_cast<const wchar_t*>(name.data()));
  NtIoStatusBlock io = {};
  LONG status = NtQueryDirectoryFile(h.h, nullptr, nullptr, nullptr, &io, buffer.data(), (ULONG)buffer.size(),
                                     kNtFileIdBothDirectoryInformation, TRUE, &filter, TRUE);
  size_t next;
  return ntSucceeded(status) && io.Information <= buffer.size() &&
         readDirRecord(buffer.data(), io.Information, 0, r, next);
}

// Opens the directory name of parent when it is the object id, a directory
// and no link.
bool openDirNamed(OsDir& parent, const std::u16string& name, const OsFileId& id, OsDir& out) {
  WinHandle h;
  if (!ntSucceeded(openAt(asHandle(parent.handle), name, kListAccess, kDirOptions, h))) return false;
  DWORD attributes, tag;
  BY_HANDLE_FILE_INFORMATION info;
  OsFileId now;
  if (!handleReparseTag(h.h, attributes, tag) || !handleIdentity(h.h, info, now) || !(now == id) ||
      !handleNamedIn(h.h, asHandle(parent.handle), name))
    return false;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && reparseTagIsLink(tag)) return false;
  return adoptDir(h, parent.verbatim, out);
}

// True unless name in parent still opens as the object id: the name is gone
// or stands for another object now.
bool goneFrom(OsDir& parent, const std::u16string& name, const OsFileId& id) {
  WinHandle h;
  LONG status = openAt(asHandle(parent.handle), name, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                       kNtOpenReparsePoint | kNtOpenForBackupIntent, h);
  if (status == kNtObjectNameNotFound) return true;
  BY_HANDLE_FILE_INFORMATION info;
  OsFileId now;
  return ntSucceeded(status) && handleIdentity(h.h, info, now) && !(now == id);
}

// The usable name of an entry in UTF-16 again: usable names round-trip exactly.
bool entryName(const OsEntry& e, std::u16string& name) { return e.usable && widenFileText(e.name, name); }

struct ListingState {
  WinHandle dir;
  uint64_t volume = 0;
  bool filtered = false;
  std::u16string expression;
  std::vector<unsigned char> buffer;
  size_t used = 0, offset = 0;
  bool restart = true, ended = false;
};
}  // namespace

void OsDir::close() {
  if (handle != -1) CloseHandle(asHandle(handle));
  handle = -1;
}

bool osOpenDirPath(const char* dirPart, bool lastMayBeLink, OsDir& d) {
  std::u16string path;
  if (!widenFileText(dirPart, path)) return false;
  bool verbatim = path.compare(0, 4, u"\\\\?\\") == 0;
  if (path.empty()) path.assign(1, u'.');
  if (lastMayBeLink) return openDirByPath(path, kListAccess, verbatim, d);
  // The last component is found in its parent's listing and opened from
  // the parent's handle, so that a link there is seen and refused.
  size_t parentLength;
  std::u16string typed;
  if (!win32SplitLastComponent(path, parentLength, typed)) return openDirByPath(path, kListAccess, verbatim, d);
  std::u16string last = win32LastComponent(typed, verbatim);
  OsDir parent;
  DirRecord r;
  if (last.empty() ||
      !openDirByPath(parentLength ? path.substr(0, parentLength) : u".", kListAccess, verbatim, parent) ||
      !lookupRecord(parent, last, r))
    return false;
  OsEntry e;
  entryFromRecord(r, parent.id.volume, e);
  return e.kind == OsNameKind::Directory && openDirNamed(parent, r.name, e.id, d);
}

OsDir* osCurrentDir() {
  static OsDir current;
  static bool tried = false;
  if (!tried) {
    tried = true;
    openDirByPath(u".", FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, false, current);
  }
  return current.isOpen() ? &current : nullptr;
}

bool OsListing::first(OsDir& d, const char* namePattern, OsEntry& e) {
  close();
  ListingState* s = new ListingState;
  state = s;
  s->volume = d.id.volume;
  s->buffer.resize(kListBuffer);
  // With a pattern, the Windows rule on the long name alone: the 8.3 names
  // the system's own search would also try name nothing the user typed.
  std::u16string typed;
  s->filtered = namePattern && namePattern[0];
  bool ready = reopenForListing(d, s->dir) &&
               (!s->filtered ||
                (widenFileText(namePattern, typed) && translateSearchPattern(typed, d.verbatim, s->expression)));
  if (ready) handle = reinterpret_cast<intptr_t>(s->dir.h);
  if (ready && next(e)) return true;
  close();
  return false;
}

bool OsListing::next(OsEntry& e) {
  ListingState* s = static_cast<ListingState*>(state);
  if (!s || !s->dir.isOpen()) return false;
  DirRecord r;
  for (;;) {
    if (s->offset >= s->used) {
      if (s->ended) return false;
      NtIoStatusBlock io = {};
      LONG status = NtQueryDirectoryFile(s->dir.h, nullptr, nullptr, nullptr, &io, s->buffer.data(),
                                         (ULONG)s->buffer.size(), kNtFileIdBothDirectoryInformation, FALSE,
                                         nullptr, s->restart);
      s->restart = false;
      // The end (STATUS_NO_MORE_FILES) or a failure: either way no more.
      if (!ntSucceeded(status) || io.Information == 0 || io.Information > s->buffer.size()) {
        s->ended = true;
        return false;
      }
      s->used = io.Information;
      s->offset = 0;
    }
    size_t next;
    if (!readDirRecord(s->buffer.data(), s->used, s->offset, r, next)) {
      s->ended = true;
      s->used = 0;
      return false;
    }
    s->offset = next;
    if (s->filtered && !nameInExpression(s->expression, r.name)) continue;
    entryFromRecord(r, s->volume, e);
    return true;
  }
}

void OsListing::close() {
  delete static_cast<ListingState*>(state);
  state = nullptr;
  handle = -1;
}

bool osLookup(OsDir& d, const char* name, OsEntry& e) {
  std::u16string typed;
  DirRecord r;
  if (!widenFileText(name, typed) || !lookupRecord(d, win32LastComponent(typed, d.verbatim), r)) return false;
  entryFromRecord(r, d.id.volume, e);
  return true;
}

bool osOpenDirAt(OsDir& parent, const OsEntry& e, OsDir& out) {
  std::u16string name;
  return e.kind == OsNameKind::Directory && entryName(e, name) && openDirNamed(parent, name, e.id, out);
}

// Opens entry e of parent (its name widened into name) for deleting, with
// options, and checks that the handle is the listed object under that name;
// attributes and tag are then its own.
static bool openForDelete(OsDir& parent, const OsEntry& e, ULONG options, std::u16string& name, WinHandle& h,
                          DWORD& attributes, DWORD& tag) {
  BY_HANDLE_FILE_INFORMATION info;
  OsFileId id;
  return entryName(e, name) &&
         ntSucceeded(openAt(asHandle(parent.handle), name, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, options, h)) &&
         handleReparseTag(h.h, attributes, tag) && handleIdentity(h.h, info, id) && id == e.id &&
         handleNamedIn(h.h, asHandle(parent.handle), name);
}

bool osRemoveDirAt(OsDir& parent, const OsEntry& e, OsDir& dir) {
  // The walk's handle goes first: the directory is only deleted when its
  // last handle closes.
  dir.close();
  std::u16string name;
  WinHandle h;
  DWORD attributes, tag;
  if (!openForDelete(parent, e, kDirOptions, name, h, attributes, tag)) return false;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && reparseTagIsLink(tag)))
    return false;
  if (!setDeleteDisposition(h.h)) return false;
  h.close();
  // Another program's open handle keeps a deleted directory's name until it
  // closes: then it is not gone yet, and not reported so.
  return goneFrom(parent, name, e.id);
}

bool osRemoveLinkAt(OsDir& d, const OsEntry& e) {
  std::u16string name;
  WinHandle h;
  DWORD attributes, tag;
  if (!openForDelete(d, e, kNtOpenReparsePoint | kNtSynchronousIoNonalert | kNtOpenForBackupIntent, name, h,
                     attributes, tag))
    return false;
  // Windows opens the link itself, which shows its tag. A handle without one
  // is what the link leads to (Wine opens a POSIX link through, and deleting
  // that handle deletes an empty target, not the link): never marked.
  bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && reparseTagIsLink(tag);
  if (!link || !setDeleteDisposition(h.h)) return false;
  h.close();
  return goneFrom(d, name, e.id);
}
