#include "place_win32.h"

#include <winternl.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstddef>

#include "placement.h"

// Not declared by the compiler's headers; linked from ntdll.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE FileHandle, HANDLE Event, PVOID ApcRoutine, PVOID ApcContext,
                                               PIO_STATUS_BLOCK IoStatusBlock, PVOID FileInformation, ULONG Length,
                                               ULONG FileInformationClass, BOOLEAN ReturnSingleEntry,
                                               PUNICODE_STRING FileName, BOOLEAN RestartScan);

namespace {

// NtCreateFile dispositions and options, NtQueryDirectoryFile's class, and
// the statuses told apart here.
constexpr ULONG kOpenExisting = 1;        // FILE_OPEN
constexpr ULONG kCreateNew = 2;           // FILE_CREATE
constexpr ULONG kDirectoryFile = 0x1;     // FILE_DIRECTORY_FILE
constexpr ULONG kSynchronous = 0x20;      // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kNonDirectoryFile = 0x40;  // FILE_NON_DIRECTORY_FILE
constexpr ULONG kBackupIntent = 0x4000;   // FILE_OPEN_FOR_BACKUP_INTENT
constexpr ULONG kOpenReparsePoint = 0x200000;  // FILE_OPEN_REPARSE_POINT
constexpr ULONG kIdBothDirectoryInformation = 37;
constexpr NTSTATUS kNameNotFound = (NTSTATUS)0xC0000034;
constexpr NTSTATUS kPathNotFound = (NTSTATUS)0xC000003A;
constexpr NTSTATUS kNoSuchFile = (NTSTATUS)0xC000000F;

// No share for deleting: while a folder is held here nobody can rename or
// remove it, and one that someone else holds open with delete access is not
// opened at all.
constexpr ULONG kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Reads the folder, resets its security, and opens names inside it.
constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC | WRITE_OWNER | SYNCHRONIZE;

// Overwrites the file, or removes its name.
constexpr ACCESS_MASK kFileAccess = GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

bool notFound(NTSTATUS s) { return s == kNameNotFound || s == kPathNotFound || s == kNoSuchFile; }

// Opens or creates `name` relative to `root` (an empty name reopens root).
// The name is taken exactly; it is never a path.
NTSTATUS openRelative(HANDLE root, const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition,
                      ULONG options, PSECURITY_DESCRIPTOR security, ScopedHandle& out) {
  out.close();
  USHORT bytes = 0;
  while (name[bytes / 2] != L'\0') bytes += 2;
  UNICODE_STRING text = {bytes, bytes, const_cast<PWSTR>(name)};
  OBJECT_ATTRIBUTES attributes = {};
  attributes.Length = sizeof attributes;
  attributes.RootDirectory = root;
  attributes.ObjectName = &text;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  attributes.SecurityDescriptor = security;
  IO_STATUS_BLOCK io = {};
  HANDLE h = INVALID_HANDLE_VALUE;
  NTSTATUS s = NtCreateFile(&h, access, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
                            options | kSynchronous | kBackupIntent | kOpenReparsePoint, nullptr, 0);
  if (NT_SUCCESS(s)) out.h = h;
  return s;
}

// The path of a handle on its volume as the file system names it, into a
// buffer of the longest path. Under Wine a link is followed even when
// asked not to be: the handle then names the link's target, and this is
// where it shows.
struct HandlePath {
  alignas(FILE_NAME_INFO) unsigned char bytes[sizeof(FILE_NAME_INFO) + 0x10000];
  const wchar_t* text = nullptr;
  int length = 0;  // characters

  bool fetch(HANDLE h) {
    if (!GetFileInformationByHandleEx(h, FileNameInfo, bytes, sizeof bytes)) return false;
    const FILE_NAME_INFO* info = reinterpret_cast<const FILE_NAME_INFO*>(bytes);
    if (info->FileNameLength > sizeof bytes - sizeof(FILE_NAME_INFO)) return false;
    text = info->FileName;
    length = (int)(info->FileNameLength / 2);
    return true;
  }
};

HandlePath parentPath;
HandlePath entryPath;

bool sameText(const wchar_t* a, int aLength, const wchar_t* b, int bLength) {
  return aLength == bLength && CompareStringOrdinal(a, aLength, b, bLength, TRUE) == CSTR_EQUAL;
}

// True when `entry`'s path is `parent`'s path, a backslash and `name`. A
// path that cannot be had counts as "not held": cfgsetup then gives up and
// places nothing, which costs one setting file. Korwipe's handleNamedIn
// answers the same question the other way round (no path: held), because
// there every file of a tree would fail on such a volume, and its identity
// and reparse checks already stand alone; the two programs share no code.
bool namedIn(HANDLE entry, HANDLE parent, const wchar_t* name) {
  if (!parentPath.fetch(parent) || !entryPath.fetch(entry)) return false;
  int nameLength = lstrlenW(name);
  int folderLength = parentPath.length;
  if (folderLength > 0 && parentPath.text[folderLength - 1] == L'\\') --folderLength;
  int expected = folderLength + 1 + nameLength;
  return entryPath.length == expected && sameText(entryPath.text, folderLength, parentPath.text, folderLength) &&
         entryPath.text[folderLength] == L'\\' &&
         sameText(entryPath.text + folderLength + 1, nameLength, name, nameLength);
}

// The parent's listing of `name`: its attributes and file id. A fresh
// handle each time, because a folder handle keeps the first name pattern
// it was asked for.
bool listedAs(HANDLE parent, const wchar_t* name, DWORD& attributes, LARGE_INTEGER& fileId) {
  ScopedHandle listing;
  if (!NT_SUCCESS(openRelative(parent, L"", FILE_LIST_DIRECTORY | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kOpenExisting,
                               kDirectoryFile, nullptr, listing)))
    return false;
  alignas(FILE_ID_BOTH_DIR_INFO) unsigned char record[sizeof(FILE_ID_BOTH_DIR_INFO) + 2 * MAX_PATH];
  USHORT bytes = (USHORT)(lstrlenW(name) * 2);
  UNICODE_STRING pattern = {bytes, bytes, const_cast<PWSTR>(name)};
  IO_STATUS_BLOCK io = {};
  if (!NT_SUCCESS(NtQueryDirectoryFile(listing.h, nullptr, nullptr, nullptr, &io, record, sizeof record,
                                       kIdBothDirectoryInformation, TRUE, &pattern, TRUE)))
    return false;
  // Only what the system wrote is read: the record's fixed part and its name
  // must lie inside the io.Information bytes it reported.
  const size_t fixed = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
  const FILE_ID_BOTH_DIR_INFO* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(record);
  if (io.Information < fixed || io.Information > sizeof record || info->FileNameLength > io.Information - fixed)
    return false;
  attributes = info->FileAttributes;
  fileId = info->FileId;
  return true;
}

// The facts of an open entry that do not need its security: reparse point
// (on the handle or in the listing), folder, link count, and whether the
// handle holds the entry of that name (the listing shows the same file
// and the handle's own path ends in that name).
bool gatherFacts(HANDLE entry, HANDLE parent, const wchar_t* name, EntryFacts& facts) {
  FILE_ATTRIBUTE_TAG_INFO tag;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag) ||
      !GetFileInformationByHandle(entry, &info))
    return false;
  DWORD listedAttributes = 0;
  LARGE_INTEGER listedId = {};
  bool listed = listedAs(parent, name, listedAttributes, listedId);
  facts.reparsePoint = ((tag.FileAttributes | listedAttributes) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  facts.directory = (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.linkCount = info.nNumberOfLinks;
  ULONGLONG handleId = (ULONGLONG)info.nFileIndexHigh << 32 | info.nFileIndexLow;
  facts.heldItself = listed && (ULONGLONG)listedId.QuadPart == handleId && namedIn(entry, parent, name);
  facts.owner = OwnerKind::Other;
  facts.othersMayChange = true;
  return true;
}

// TrustedInstaller's service SID.
const wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool isTrustedSid(PSID sid) {
  if (!sid || !IsValidSid(sid)) return false;
  if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid)) return true;
  PSID installer = nullptr;
  bool same = ConvertStringSidToSidW(kTrustedInstaller, &installer) && EqualSid(sid, installer);
  if (installer) LocalFree(installer);
  return same;
}

// Owner and access list of an open folder, as the decision needs them. An
// unreadable owner counts as someone else's, an unreadable list as open to
// all, so that both lead to a reset.
void gatherSecurity(HANDLE folder, EntryFacts& facts) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  facts.owner = OwnerKind::Other;
  facts.othersMayChange = true;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                      nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return;
  if (isTrustedSid(owner)) facts.owner = OwnerKind::Trusted;
  // Entries are judged one at a time; a list too long for the table is
  // taken as open to all.
  AceFacts aces[64];
  DWORD count = dacl ? dacl->AceCount : 0;
  bool readable = count <= 64;
  for (DWORD i = 0; readable && i < count; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) {
      readable = false;
      break;
    }
    AceFacts& a = aces[i];
    a.allows = header->AceType != ACCESS_DENIED_ACE_TYPE && header->AceType != ACCESS_DENIED_OBJECT_ACE_TYPE &&
               header->AceType != ACCESS_DENIED_CALLBACK_ACE_TYPE &&
               header->AceType != ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
    a.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    // Every entry kind starts with the header and the mask; the plain and
    // callback kinds have the SID right after. Any other kind is judged as
    // naming someone else.
    a.mask = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->Mask;
    bool plainLayout = header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE ||
                       header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
                       header->AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE;
    a.trustedSid = plainLayout && isTrustedSid(&reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->SidStart);
  }
  if (readable) facts.othersMayChange = folderAclLetsOthersChange(dacl != nullptr, aces, count);
  LocalFree(descriptor);
}

// The guarded folder security: owner Administrators; a protected list (no
// entries inherited from the application-data folder, which lets every user
// create entries) giving Administrators and SYSTEM full control and Users
// read and execute, all inherited by what the folder holds.
PSECURITY_DESCRIPTOR guardedSecurity() {
  static PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!descriptor &&
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", SDDL_REVISION_1, &descriptor, nullptr))
    descriptor = nullptr;
  return descriptor;
}

// Sets owner and access list on the folder itself, through its handle. Not
// SetSecurityInfo: that also pushes the inheritable entries down into what
// the folder already holds, and in a folder someone else owned, those
// children are theirs to have chosen (a hard link to a system file, say).
bool resetSecurity(HANDLE folder) {
  PSECURITY_DESCRIPTOR descriptor = guardedSecurity();
  return descriptor && SetKernelObjectSecurity(folder,
                                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                                   PROTECTED_DACL_SECURITY_INFORMATION,
                                               descriptor);
}

bool enablePrivilege(HANDLE token, const wchar_t* name) {
  TOKEN_PRIVILEGES p = {};
  p.PrivilegeCount = 1;
  p.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  return LookupPrivilegeValueW(nullptr, name, &p.Privileges[0].Luid) &&
         AdjustTokenPrivileges(token, FALSE, &p, 0, nullptr, nullptr);
}

// Writes the whole source from its start over the file, cut to the source's
// length, with the source's last-write time as a copy has.
bool copyInto(HANDLE file, HANDLE source) {
  FILE_END_OF_FILE_INFO empty = {};
  LARGE_INTEGER start = {};
  if (!SetFileInformationByHandle(file, FileEndOfFileInfo, &empty, sizeof empty) ||
      !SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !SetFilePointerEx(source, start, nullptr, FILE_BEGIN))
    return false;
  static unsigned char chunk[65536];
  for (;;) {
    DWORD got = 0, put = 0;
    if (!ReadFile(source, chunk, sizeof chunk, &got, nullptr)) return false;
    if (got == 0) break;
    if (!WriteFile(file, chunk, got, &put, nullptr) || put != got) return false;
  }
  FILETIME written;
  if (GetFileTime(source, nullptr, nullptr, &written)) SetFileTime(file, nullptr, nullptr, &written);
  return true;
}

}  // namespace

void ScopedHandle::close() {
  if (isOpen()) CloseHandle(h);
  h = INVALID_HANDLE_VALUE;
}

void enablePlacementPrivileges() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  enablePrivilege(token, L"SeRestorePrivilege");
  enablePrivilege(token, L"SeTakeOwnershipPrivilege");
  CloseHandle(token);
}

bool openBaseFolder(const wchar_t* path, ScopedHandle& out) {
  out.close();
  out.h = CreateFileW(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  return out.isOpen();
}

StepResult enterFolder(HANDLE parent, const wchar_t* name, ScopedHandle& out) {
  // No folder option on the open: whatever is there is opened and judged.
  NTSTATUS s = openRelative(parent, name, kFolderAccess, kShareNoDelete, kOpenExisting, 0, nullptr, out);
  if (notFound(s)) {
    // Made with the guarded security from the start. Fails when the name
    // has come to exist meanwhile (or exists as a link to nowhere): that
    // is then opened and judged like any other.
    s = openRelative(parent, name, kFolderAccess, kShareNoDelete, kCreateNew, kDirectoryFile, guardedSecurity(),
                     out);
    if (!NT_SUCCESS(s)) s = openRelative(parent, name, kFolderAccess, kShareNoDelete, kOpenExisting, 0, nullptr, out);
    if (notFound(s)) return StepResult::Failed;
  }
  if (!NT_SUCCESS(s)) return StepResult::Refused;

  EntryFacts facts;
  if (!gatherFacts(out.h, parent, name, facts)) return StepResult::Refused;
  gatherSecurity(out.h, facts);
  switch (decideFolder(facts)) {
    case FolderAction::Use:
      return StepResult::Done;
    case FolderAction::ResetThenUse:
      if (!resetSecurity(out.h)) return StepResult::Refused;
      // Once reset, only the trusted accounts may rename or replace it; the
      // entry is checked once more, so that a swap made before the reset
      // (by its former owner) is seen. What holds now holds for the run.
      if (!gatherFacts(out.h, parent, name, facts) || decideFolder(facts) == FolderAction::GiveUp)
        return StepResult::Refused;
      return StepResult::Done;
    case FolderAction::GiveUp:
      break;
  }
  return StepResult::Refused;
}

StepResult placeFile(HANDLE folder, const wchar_t* name, HANDLE source) {
  ScopedHandle file;
  bool present = true;
  // Opening does not write: what is there is judged before anything is.
  NTSTATUS s = openRelative(folder, name, kFileAccess, FILE_SHARE_READ, kOpenExisting, 0, nullptr, file);
  if (notFound(s))
    present = false;
  else if (!NT_SUCCESS(s))
    return StepResult::Refused;

  if (present) {
    EntryFacts facts;
    if (!gatherFacts(file.h, folder, name, facts)) return StepResult::Refused;
    switch (decideFile(facts)) {
      case FileAction::Overwrite:
        if (source == INVALID_HANDLE_VALUE) return StepResult::Done;
        return copyInto(file.h, source) ? StepResult::Done : StepResult::Failed;
      case FileAction::Replace: {
        // The handle holds the link or this one name of the file: deleting
        // through it removes that name only. The name is gone once the
        // handle is closed.
        FILE_DISPOSITION_INFO remove = {TRUE};
        if (!SetFileInformationByHandle(file.h, FileDispositionInfo, &remove, sizeof remove))
          return StepResult::Refused;
        file.close();
        break;
      }
      case FileAction::GiveUp:
        return StepResult::Refused;
    }
  }
  if (source == INVALID_HANDLE_VALUE) return StepResult::Failed;

  // A new file, made only where no name is: a name that has come back (or a
  // link to nowhere, which the open above could not find) makes this fail.
  // The folder's guarded list is inherited.
  s = openRelative(folder, name, kFileAccess, FILE_SHARE_READ, kCreateNew, kNonDirectoryFile, nullptr, file);
  if (!NT_SUCCESS(s)) return notFound(s) ? StepResult::Failed : StepResult::Refused;
  return copyInto(file.h, source) ? StepResult::Done : StepResult::Failed;
}
