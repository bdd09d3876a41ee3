// cfgsetup for Windows: places the shared settings file and opens it to the
// Users group.
//
// One straight run: copy "Tavisk Sleeper.ini" from the program's own folder to
// <common application data>\Korvanel\Ostrel\config.cfg (creating both folders),
// then start the system's CACLS.exe, hidden and not waited for, to grant the
// local Users group change access to the copy. No window, no console, no
// message, exit code 0 whatever happens: a failed step simply leaves its
// effect out, and the next run tries again.
//
// Every user may create folders in the application-data folder, so the
// folders and the file are placed through handles that never follow a link
// (place_win32.h). Where the placement cannot be made safe, nothing is
// placed and the tool is not started: nothing is granted on what someone
// else chose. The tool is started only when both folders were made or
// verified by this run.
//
// Every path and the parameter line live in fixed buffers of MAX_PATH
// characters. When a piece does not fit, the part that needs it is left out
// (no folder, no copy, no tool started) rather than done with a cut-off path.

#include <windows.h>

#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "bounded_text.h"
#include "place_win32.h"

namespace {

using PathText = BoundedText<wchar_t, MAX_PATH>;
using NameText = BoundedText<wchar_t, 256>;

// The run's buffers: the work path holds, in turn, the program's path, the
// source file, the destination built a second time and the tool's path.
PathText workPath;
PathText destinationPath;
PathText parameterLine;
NameText accountName;
wchar_t domainName[256];

// GetModuleFileNameW and GetSystemDirectoryW both report a result that did not
// fit by returning the capacity (or more); older systems then leave the text
// unterminated.
void acceptLength(PathText& path, DWORD n) {
  if (n == 0 || n >= PathText::capacity)
    path.invalidate();
  else
    path.acceptFilled();
}

void fetchCommonAppData(PathText& path) {
  // Create flag set: a fresh system may not have the folder yet.
  if (SHGetSpecialFolderPathW(nullptr, path.text, CSIDL_COMMON_APPDATA, TRUE))
    path.acceptFilled();
  else
    path.invalidate();
}

// The destination folders, then the copy; an earlier plain config.cfg is
// overwritten. Each step is taken only when the path it adds fits its
// buffer, as the tool will be given that path, but the path itself is
// never opened: each name is opened relative to the folder before it.
// False when either folder was refused or could not be had, and then
// nothing may be granted; true once both are safe, also when the copy
// simply failed (no source).
bool placeSetting() {
  fetchCommonAppData(destinationPath);
  ScopedHandle base, korvanel, ostrel, source;
  if (destinationPath.usable) openBaseFolder(destinationPath.text, base);
  destinationPath.append(L"\\Korvanel");
  if (!destinationPath.usable || !base.isOpen() || enterFolder(base.h, L"Korvanel", korvanel) != StepResult::Done)
    return false;
  destinationPath.append(L"\\Ostrel");
  if (!destinationPath.usable || enterFolder(korvanel.h, L"Ostrel", ostrel) != StepResult::Done) return false;
  destinationPath.append(L"\\config.cfg");
  if (!destinationPath.usable) return false;
  if (workPath.usable)
    source.h = CreateFileW(workPath.text, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  return placeFile(ostrel.h, L"config.cfg", source.h) != StepResult::Refused;
}

// The local name of the built-in Users group (translated on non-English
// systems). "Users" when the system cannot name it; unusable when the name is
// too long for its buffer, since then no other name is the right one.
void fetchUsersGroupName() {
  PSID sid = nullptr;
  DWORD accountCount = NameText::capacity;
  DWORD domainCount = 256;
  SID_NAME_USE use;
  accountName.clear();
  if (ConvertStringSidToSidW(L"S-1-5-32-545", &sid)) {
    if (LookupAccountSidW(nullptr, sid, accountName.text, &accountCount, domainName, &domainCount, &use))
      accountName.acceptFilled();
    else if (GetLastError() == ERROR_INSUFFICIENT_BUFFER)
      accountName.invalidate();
    else
      accountName.clear();
  }
  if (sid) LocalFree(sid);
  if (accountName.usable && accountName.length == 0) accountName.assign(L"Users");
}

}  // namespace

int wmain(int, wchar_t**, wchar_t**) {
  // The source: "Tavisk Sleeper.ini" in the program's own folder.
  acceptLength(workPath, GetModuleFileNameW(nullptr, workPath.text, PathText::capacity));
  workPath.cutAfterLast(L'\\');
  workPath.append(L"Tavisk Sleeper.ini");

  enableBackupPrivileges();
  bool grantable = placeSetting();

  // The destination once more, from scratch, for the tool's parameter line.
  // The tool resolves this path again, after the checks, and it still
  // names what was placed: Korvanel and Ostrel were both made or verified
  // by this run (a folder someone else made was moved aside, never taken
  // over), so they are owned by the trusted accounts and only those may
  // change them (Users may read), while the application-data folder lets
  // no user delete or rename what it holds. So no ordinary user can swap
  // either folder or put a name into Ostrel. (Users may delete config.cfg
  // once it is granted to them, but not put anything in its place.)
  fetchCommonAppData(workPath);
  workPath.append(L"\\Korvanel\\Ostrel\\config.cfg");
  parameterLine.assign(L"\"");
  parameterLine.append(workPath);
  parameterLine.append(L"\" /E /G ");

  acceptLength(workPath, GetSystemDirectoryW(workPath.text, PathText::capacity));
  workPath.append(L"\\CACLS.exe");

  fetchUsersGroupName();
  // The group name goes in bare, without quotes.
  parameterLine.append(accountName);
  parameterLine.append(L":C");

  // Edit (/E) the file's access list and grant (/G) the group change access
  // (C). Hidden, not waited for, its result not looked at: the file is in
  // place either way.
  if (grantable && workPath.usable && parameterLine.usable)
    ShellExecuteW(nullptr, nullptr, workPath.text, parameterLine.text, nullptr, SW_HIDE);
  return 0;
}
