// Test-only stand-in for the system's CACLS.exe, placed into a Wine prefix's
// system folder by the cfgsetup tests. It changes nothing; it records how it
// was started, one line per start appended to C:\cacls-calls.txt (UTF-8):
//
//   call<TAB><own path><TAB><show flag set 0/1><TAB><show state><TAB><command line>
//
// While C:\cacls-hold exists it stays running (up to a minute) and then
// appends "released", so a test can tell that its caller did not wait for it.

#include <windows.h>

#include <string>

namespace {

void appendRecord(const std::wstring& line) {
  int n = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), (int)line.size(), nullptr, 0, nullptr, nullptr);
  std::string bytes(n > 0 ? (size_t)n : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, line.c_str(), (int)line.size(), &bytes[0], n, nullptr, nullptr);
  HANDLE f = CreateFileW(L"C:\\cacls-calls.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(f, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
  CloseHandle(f);
}

}  // namespace

int wmain() {
  wchar_t self[4096];
  DWORD n = GetModuleFileNameW(nullptr, self, 4096);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  GetStartupInfoW(&si);
  std::wstring line = L"call\t" + std::wstring(self, n) + L"\t" +
                      std::to_wstring((si.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0) + L"\t" +
                      std::to_wstring(si.wShowWindow) + L"\t" + GetCommandLineW() + L"\n";
  appendRecord(line);
  for (int i = 0; i < 600 && GetFileAttributesW(L"C:\\cacls-hold") != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  appendRecord(L"released\n");
  return 0;
}
