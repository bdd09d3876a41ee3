#include "handles_win32.h"

#include <winternl.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstddef>
#include <cstring>

// Not declared by the compiler's headers; linked from ntdll.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE FileHandle, HANDLE Event, PVOID ApcRoutine, PVOID ApcContext,
                                               PIO_STATUS_BLOCK IoStatusBlock, PVOID FileInformation, ULONG Length,
                                               ULONG FileInformationClass, BOOLEAN ReturnSingleEntry,
                                               PUNICODE_STRING FileName, BOOLEAN RestartScan);

namespace {

constexpr ULONG kSynchronous = 0x20;           // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kBackupIntent = 0x4000;        // FILE_OPEN_FOR_BACKUP_INTENT
constexpr ULONG kOpenReparsePoint = 0x200000;  // FILE_OPEN_REPARSE_POINT
constexpr ULONG kIdBothDirectoryInformation = 37;
constexpr ULONG kRenameInformation = 10;

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
// places nothing, which costs one setting file (and the uninstaller leaves
// the entry). Korwipe's handleNamedIn answers the same question the other
// way round (no path: held), because there every file of a tree would fail
// on such a volume, and its identity and reparse checks already stand
// alone; the programs share no code.
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
bool listedAs(HANDLE parent, const wchar_t* name, DWORD& attributes, ULONGLONG& fileId) {
  ScopedHandle listing;
  if (!statusOk(openRelative(parent, L"", FILE_LIST_DIRECTORY | SYNCHRONIZE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kOpenExisting, kDirectoryFile,
                             nullptr, listing)))
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
  fileId = (ULONGLONG)info->FileId.QuadPart;
  return true;
}

ULONGLONG handleFileId(const BY_HANDLE_FILE_INFORMATION& info) {
  return (ULONGLONG)info.nFileIndexHigh << 32 | info.nFileIndexLow;
}

// TrustedInstaller's service SID.
const wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// The user the program runs as, when that user is an administrator (the
// token holds the Administrators group enabled, as an elevated one does);
// null otherwise. Read once.
PSID runningAdministrator() {
  static bool read = false;
  static unsigned char sid[SECURITY_MAX_SID_SIZE];
  static bool found = false;
  if (read) return found ? sid : nullptr;
  read = true;
  unsigned char adminsSid[SECURITY_MAX_SID_SIZE];
  DWORD adminsSize = sizeof adminsSid;
  BOOL member = FALSE;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, adminsSid, &adminsSize) ||
      !CheckTokenMembership(nullptr, adminsSid, &member) || !member)
    return nullptr;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
    PSID user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    found = IsValidSid(user) && CopySid(sizeof sid, sid, user);
  }
  CloseHandle(token);
  return found ? sid : nullptr;
}

bool isTrustedSid(PSID sid) {
  if (!sid || !IsValidSid(sid)) return false;
  if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid)) return true;
  PSID self = runningAdministrator();
  if (self && EqualSid(sid, self)) return true;
  PSID installer = nullptr;
  bool same = ConvertStringSidToSidW(kTrustedInstaller, &installer) && EqualSid(sid, installer);
  if (installer) LocalFree(installer);
  return same;
}

bool enablePrivilege(HANDLE token, const wchar_t* name) {
  TOKEN_PRIVILEGES p = {};
  p.PrivilegeCount = 1;
  p.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  return LookupPrivilegeValueW(nullptr, name, &p.Privileges[0].Luid) &&
         AdjustTokenPrivileges(token, FALSE, &p, 0, nullptr, nullptr);
}

}  // namespace

void ScopedHandle::close() {
  if (isOpen()) CloseHandle(h);
  h = INVALID_HANDLE_VALUE;
}

void enableBackupPrivileges() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  enablePrivilege(token, L"SeBackupPrivilege");
  enablePrivilege(token, L"SeRestorePrivilege");
  CloseHandle(token);
}

LONG openRelative(HANDLE root, const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition,
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

bool statusNotFound(LONG s) {
  return s == (LONG)0xC0000034 || s == (LONG)0xC000003A || s == (LONG)0xC000000F;  // name, path, no such file
}

bool gatherFacts(HANDLE entry, HANDLE parent, const wchar_t* name, EntryFacts& facts) {
  FILE_ATTRIBUTE_TAG_INFO tag;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag) ||
      !GetFileInformationByHandle(entry, &info))
    return false;
  DWORD listedAttributes = 0;
  ULONGLONG listedId = 0;
  bool listed = listedAs(parent, name, listedAttributes, listedId);
  facts.reparsePoint = ((tag.FileAttributes | listedAttributes) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  facts.directory = (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.linkCount = info.nNumberOfLinks;
  facts.heldItself = listed && listedId == handleFileId(info) && namedIn(entry, parent, name);
  facts.owner = OwnerKind::Other;
  facts.othersMayChange = true;
  return true;
}

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

bool stillListed(HANDLE entry, HANDLE parent, const wchar_t* name, bool mayBeLink) {
  BY_HANDLE_FILE_INFORMATION info;
  DWORD attributes = 0;
  ULONGLONG listedId = 0;
  return GetFileInformationByHandle(entry, &info) && listedAs(parent, name, attributes, listedId) &&
         listedId == handleFileId(info) && (mayBeLink || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT));
}

bool markForDelete(HANDLE h) {
  FILE_DISPOSITION_INFO remove = {TRUE};
  return SetFileInformationByHandle(h, FileDispositionInfo, &remove, sizeof remove);
}

LONG renameInFolder(HANDLE h, HANDLE parent, const wchar_t* name) {
  // FILE_RENAME_INFORMATION with the folder as root and the bare name: the
  // native call, because SetFileInformationByHandle makes a full path of
  // the name under Wine and then refuses the root handle beside it.
  size_t nameBytes = (size_t)lstrlenW(name) * sizeof(wchar_t);
  alignas(FILE_RENAME_INFORMATION) unsigned char buffer[sizeof(FILE_RENAME_INFORMATION) + 2 * MAX_PATH];
  if (nameBytes > 2 * MAX_PATH) return (LONG)0xC0000106;  // STATUS_NAME_TOO_LONG
  std::memset(buffer, 0, sizeof buffer);
  FILE_RENAME_INFORMATION* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer);
  info->ReplaceIfExists = FALSE;
  info->RootDirectory = parent;
  info->FileNameLength = (ULONG)nameBytes;
  std::memcpy(info->FileName, name, nameBytes);
  IO_STATUS_BLOCK io = {};
  return NtSetInformationFile(h, &io, info, (ULONG)(offsetof(FILE_RENAME_INFORMATION, FileName) + nameBytes),
                              (FILE_INFORMATION_CLASS)kRenameInformation);
}
