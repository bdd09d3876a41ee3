#include "wipe/os/win32_io.h"

#include <cstring>
#include <vector>

#include "wipe/os/reparse.h"

void WinHandle::close() {
  if (isOpen()) CloseHandle(h);
  h = INVALID_HANDLE_VALUE;
}

HANDLE WinHandle::release() {
  HANDLE out = h;
  h = INVALID_HANDLE_VALUE;
  return out;
}

LONG openAt(HANDLE root, const std::u16string& name, ACCESS_MASK access, ULONG options, WinHandle& out) {
  out.close();
  if (name.size() > 0x7FFF) return kNtObjectNameNotFound;
  NtUnicodeString us;
  us.Length = us.MaximumLength = (USHORT)(name.size() * 2);
  us.Buffer = const_cast<PWSTR>(reinterpret_cast<const wchar_t*>(name.data()));
  // No OBJ_CASE_INSENSITIVE: the name is the exact one the listing gave.
  NtObjectAttributes attributes = {sizeof attributes, root, &us, 0, nullptr, nullptr};
  NtIoStatusBlock io = {};
  HANDLE h = INVALID_HANDLE_VALUE;
  LONG status = NtCreateFile(&h, access, &attributes, &io, nullptr, 0, kShareAll, kNtFileOpen, options, nullptr, 0);
  if (ntSucceeded(status)) out.h = h;
  return status;
}

bool handleIdentity(HANDLE h, BY_HANDLE_FILE_INFORMATION& info, OsFileId& id) {
  if (!GetFileInformationByHandle(h, &info)) return false;
  id.volume = info.dwVolumeSerialNumber;
  id.index = (uint64_t)info.nFileIndexHigh << 32 | info.nFileIndexLow;
  return true;
}

bool handleReparseTag(HANDLE h, DWORD& attributes, DWORD& tag) {
  FILE_ATTRIBUTE_TAG_INFO info;
  if (!GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof info)) return false;
  attributes = info.FileAttributes;
  tag = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? info.ReparseTag : 0;
  return true;
}

// The path of h on its volume, as the file system names it.
static bool handlePath(HANDLE h, std::u16string& path) {
  // FILE_NAME_INFO with room for the longest path.
  std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + 0x10000);
  if (!GetFileInformationByHandleEx(h, FileNameInfo, buffer.data(), (DWORD)buffer.size())) return false;
  const FILE_NAME_INFO* info = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
  if (info->FileNameLength > buffer.size() - sizeof(FILE_NAME_INFO)) return false;
  path.assign(reinterpret_cast<const char16_t*>(info->FileName), info->FileNameLength / 2);
  return true;
}

bool handleNamedIn(HANDLE h, HANDLE dir, const std::u16string& name) {
  std::u16string own, expected;
  if (!handlePath(h, own) || !handlePath(dir, expected)) return true;
  if (expected.empty() || expected.back() != u'\\') expected += u'\\';
  expected += name;
  return own.size() == expected.size() &&
         CompareStringOrdinal(reinterpret_cast<const wchar_t*>(own.data()), (int)own.size(),
                              reinterpret_cast<const wchar_t*>(expected.data()), (int)expected.size(),
                              TRUE) == CSTR_EQUAL;
}

bool setDeleteDisposition(HANDLE h) {
  NtDispositionInformation info = {TRUE};
  NtIoStatusBlock io = {};
  return ntSucceeded(NtSetInformationFile(h, &io, &info, sizeof info, kNtFileDispositionInformation));
}

void entryFromRecord(const DirRecord& r, uint64_t volume, OsEntry& e) {
  // The listing carries a reparse point's tag where other entries keep the
  // size of their extended attributes.
  uint32_t tag = (r.attributes & kWinAttrReparsePoint) ? r.eaSize : 0;
  e.kind = windowsNameKind(r.attributes, tag);
  e.id.volume = volume;
  e.id.index = r.fileId;
  e.size = r.endOfFile;
  std::string narrow;
  bool exact = narrowFileText(r.name, narrow);
  e.usable = exact && narrowedNameFitsPath(narrow, r.name, fileTextLeadBytes(), kPathMax);
  // Shown in messages only when unusable: cut to the buffer between two
  // characters, never used as a path.
  const bool (&lead)[256] = fileTextLeadBytes();
  size_t n = 0;
  while (n < narrow.size()) {
    size_t step = lead[(unsigned char)narrow[n]] && n + 1 < narrow.size() ? 2 : 1;
    if (n + step >= kPathMax) break;
    n += step;
  }
  std::memcpy(e.name, narrow.data(), n);
  e.name[n] = '\0';
}
