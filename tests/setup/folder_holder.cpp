// Test-only: a folder's maker holding it open from before cfgsetup's run, as
// an attacker would. Placed into the test prefix by the cfgsetup tests.
//
//   folder_holder.exe FOLDER all|nodelete GO NAME
//
// Opens FOLDER with the rights its owner always has on it (READ_CONTROL,
// WRITE_DAC) and the right to add files, shared for reading and writing and,
// with "all", for deleting; prints "held". Then waits (up to a minute) until
// the file GO exists and creates NAME relative to its handle, as its holder
// would to act on the folder it still holds: prints "created" or
// "refused XXXXXXXX" (the status). "failed" when FOLDER cannot be opened.
#include <windows.h>
#include <winternl.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) return 2;
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (lstrcmpW(argv[2], L"all") == 0 ? FILE_SHARE_DELETE : 0);
  HANDLE folder = CreateFileW(argv[1], READ_CONTROL | WRITE_DAC | FILE_ADD_FILE | FILE_TRAVERSE | SYNCHRONIZE,
                              share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) {
    std::puts("failed");
    return 1;
  }
  std::puts("held");
  std::fflush(stdout);
  for (int i = 0; i < 600 && GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);

  UNICODE_STRING name;
  RtlInitUnicodeString(&name, argv[4]);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io;
  HANDLE file = nullptr;
  NTSTATUS s = NtCreateFile(&file, GENERIC_WRITE | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, 0,
                            FILE_CREATE, FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (NT_SUCCESS(s)) {
    CloseHandle(file);
    std::puts("created");
  } else {
    std::printf("refused %08lx\n", (unsigned long)s);
  }
  CloseHandle(folder);
  return 0;
}
