// Files for os.h on Windows: opened relative to the directory they were
// listed in, checked to be the listed object, and moved and deleted through
// their own handle, never by name.
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "wipe/os/reparse.h"
#include "wipe/os/win32_io.h"

namespace {
// The largest stream list asked for; one name is at most 255 units.
const size_t kMaxStreamList = 16 * 1024 * 1024;

// A disk file that is not a directory and is the object id (devices such as
// CON, NUL or a pipe are no files to overwrite); info is filled when true.
bool isListedDiskFile(HANDLE h, const OsFileId& id, BY_HANDLE_FILE_INFORMATION& info) {
  OsFileId now;
  return GetFileType(h) == FILE_TYPE_DISK && handleIdentity(h, info, now) && now == id &&
         !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The stream list of h into buffer (grown while the system says it is too
// small); the status of the query, with used the bytes it filled.
LONG queryStreams(HANDLE h, std::vector<unsigned char>& buffer, size_t& used) {
  buffer.resize(4096);
  for (;;) {
    NtIoStatusBlock io = {};
    LONG status = NtQueryInformationFile(h, &io, buffer.data(), (ULONG)buffer.size(), kNtFileStreamInformation);
    bool tooSmall = status == kNtBufferOverflow || status == kNtBufferTooSmall || status == kNtInfoLengthMismatch;
    if (!tooSmall || buffer.size() >= kMaxStreamList) {
      used = io.Information <= buffer.size() ? io.Information : 0;
      return status;
    }
    buffer.resize(buffer.size() * 2);
  }
}
}  // namespace

void OsFile::close() {
  if (handle != -1) CloseHandle(asHandle(handle));
  handle = -1;
}

// Two opens. The first, with FILE_OPEN_REPARSE_POINT and attribute access
// only, looks at the entry itself: a link is recognised by its tag and never
// written through, and the read-only attribute is cleared on that object.
// The second opens the contents. A reparse point that is no link is opened
// then without the flag, so that the filter owning it (deduplicated, cloud
// placeholder, compressed by the overlay filter, held by a storage manager)
// presents the contents as every program sees them: opened with the flag,
// the filter stays out and the handle reaches only the raw stream, which
// need not hold the contents at all. Both handles must be the listed object.
OsOpenResult osOpenFileAt(OsDir& d, const OsEntry& e, OsFile& f) {
  std::u16string name;
  if (!e.usable || !widenFileText(e.name, name)) return OsOpenResult::Failed;
  HANDLE dir = asHandle(d.handle);
  const ULONG lookOptions = kNtOpenReparsePoint | kNtSynchronousIoNonalert;
  WinHandle look;
  LONG status = openAt(dir, name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, lookOptions, look);
  // Without the right to change attributes a file can still be erased, as
  // long as it is not read-only.
  if (status == kNtAccessDenied) status = openAt(dir, name, FILE_READ_ATTRIBUTES | SYNCHRONIZE, lookOptions, look);
  if (!ntSucceeded(status)) return OsOpenResult::Failed;
  BY_HANDLE_FILE_INFORMATION info;
  OsFileId id;
  DWORD attributes, tag;
  if (!handleIdentity(look.h, info, id) || !(id == e.id) || !handleReparseTag(look.h, attributes, tag) ||
      !handleNamedIn(look.h, dir, name))
    return OsOpenResult::Failed;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // A tag that cannot be read says neither link nor file: nothing is done
    // to it, and it is reported as a file that could not be opened.
    if (!reparseTagIsValid(tag)) return OsOpenResult::Failed;
    if (reparseTagIsLink(tag)) return OsOpenResult::IsLink;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return OsOpenResult::Failed;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
    FILE_BASIC_INFO basic = {};  // times of 0: left as they are
    basic.FileAttributes = attributesWithoutReadOnly(info.dwFileAttributes);
    if (!SetFileInformationByHandle(look.h, FileBasicInfo, &basic, sizeof basic)) return OsOpenResult::Failed;
  }
  WinHandle data;
  ULONG options = kNtNonDirectoryFile | kNtSynchronousIoNonalert | (tag ? 0 : kNtOpenReparsePoint);
  if (!ntSucceeded(openAt(dir, name, GENERIC_READ | GENERIC_WRITE | DELETE | SYNCHRONIZE, options, data)) ||
      !isListedDiskFile(data.h, e.id, info) || !handleNamedIn(data.h, dir, name))
    return OsOpenResult::Failed;
  // Opened as a plain file, it must still be one: a reparse point set on it
  // in between would be written raw.
  if (!tag && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return OsOpenResult::Failed;
  f.close();
  f.handle = reinterpret_cast<intptr_t>(data.release());
  f.reparseTag = tag;
  f.linkCount = info.nNumberOfLinks;
  f.id = e.id;
  return OsOpenResult::Opened;
}

bool osOpenNamedStreams(OsFile& f, OsStreams& out) {
  out.files.reset();
  out.count = 0;
  HANDLE h = asHandle(f.handle);
  std::vector<unsigned char> buffer;
  size_t used = 0;
  LONG status = queryStreams(h, buffer, used);
  if (streamQueryMeansNone((uint32_t)status)) return true;
  std::vector<std::u16string> names;
  if (!ntSucceeded(status) || !readStreamNames(buffer.data(), used, names)) return false;
  if (names.empty()) return true;
  BY_HANDLE_FILE_INFORMATION info;
  OsFileId id;
  std::unique_ptr<OsFile[]> files(new (std::nothrow) OsFile[names.size()]);
  if (!files || !handleIdentity(h, info, id)) return false;
  // A stream is opened from the file's own handle (":name:$DATA" relative
  // to it), so it belongs to the file already checked, whatever its name
  // stands for by now.
  ULONG options = kNtNonDirectoryFile | kNtSynchronousIoNonalert | (f.reparseTag ? 0 : kNtOpenReparsePoint);
  for (size_t i = 0; i < names.size(); ++i) {
    WinHandle s;
    if (!ntSucceeded(openAt(h, names[i], GENERIC_READ | GENERIC_WRITE | SYNCHRONIZE, options, s)) ||
        !isListedDiskFile(s.h, id, info))
      return false;
    files[i].handle = reinterpret_cast<intptr_t>(s.release());
    files[i].reparseTag = f.reparseTag;
    files[i].linkCount = f.linkCount;
  }
  out.files = std::move(files);
  out.count = names.size();
  return true;
}

// A rename of the open file into the directory held by osCurrentDir, by a
// name relative to that handle: the file system refuses to move a file to
// another volume (it never copies), and an existing name is never replaced.
// The native call, because SetFileInformationByHandle makes a full path of
// the name under Wine and then refuses the directory handle beside it.
//
// Where it is weak: Windows renames the object the handle stands for, Wine
// renames the path the handle was opened by. There, a folder on that path
// swapped for a link since the open makes the rename move the file of the
// same name behind the link instead (and Wine's delete on close looks that
// path up twice, a much smaller window of the same kind).
bool osMoveToCurrentDir(OsDir&, const OsEntry&, OsFile& f, const char* to) {
  OsDir* current = osCurrentDir();
  std::u16string name;
  if (!current || !widenFileText(to, name) || name.empty() || name.size() > 0x7FFF) return false;
  size_t nameBytes = name.size() * sizeof(char16_t);
  size_t size = offsetof(NtRenameInformation, FileName) + nameBytes;
  std::vector<unsigned char> buffer(size + sizeof(char16_t), 0);
  NtRenameInformation* info = reinterpret_cast<NtRenameInformation*>(buffer.data());
  info->ReplaceIfExists = FALSE;
  info->RootDirectory = asHandle(current->handle);
  info->FileNameLength = (ULONG)nameBytes;
  std::memcpy(info->FileName, name.data(), nameBytes);
  NtIoStatusBlock io = {};
  return ntSucceeded(NtSetInformationFile(asHandle(f.handle), &io, info, (ULONG)size, kNtFileRenameInformation));
}

bool osDeleteFileAt(OsDir&, const char*, OsFile& f) {
  bool deleted = f.handle != -1 && setDeleteDisposition(asHandle(f.handle));
  f.close();
  return deleted;
}
