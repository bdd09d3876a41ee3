// The native (ntdll) file calls of the Windows platform layer, with their
// records: the Win32 API has no call that opens a name relative to a
// directory handle, lists a directory from a handle of one's own choosing,
// or lists a file's streams. Declared here as the system documents them
// (winternl.h and ntifs.h), because the compiler's headers carry only some
// of them; linked from ntdll. Windows builds only.
#pragma once

#include <windows.h>

struct NtUnicodeString {
  USHORT Length;  // bytes, without a terminator
  USHORT MaximumLength;
  PWSTR Buffer;
};

struct NtObjectAttributes {
  ULONG Length;
  HANDLE RootDirectory;  // the name is looked up from this directory (or file, for a stream)
  NtUnicodeString* ObjectName;
  ULONG Attributes;
  PVOID SecurityDescriptor;
  PVOID SecurityQualityOfService;
};

struct NtIoStatusBlock {
  union {
    LONG Status;
    PVOID Pointer;
  };
  ULONG_PTR Information;  // bytes written for a query
};

// FILE_RENAME_INFORMATION, and FILE_DISPOSITION_INFORMATION.
struct NtRenameInformation {
  BOOLEAN ReplaceIfExists;
  HANDLE RootDirectory;
  ULONG FileNameLength;  // bytes
  WCHAR FileName[1];
};

struct NtDispositionInformation {
  BOOLEAN DeleteFile;
};

// FILE_INFORMATION_CLASS values used here.
enum NtFileInformationClass : int {
  kNtFileRenameInformation = 10,
  kNtFileDispositionInformation = 13,
  kNtFileStreamInformation = 22,
  kNtFileIdBothDirectoryInformation = 37,
};

// NtCreateFile disposition and options.
constexpr ULONG kNtFileOpen = 1;
constexpr ULONG kNtDirectoryFile = 0x00000001;
constexpr ULONG kNtSynchronousIoNonalert = 0x00000020;
constexpr ULONG kNtNonDirectoryFile = 0x00000040;
constexpr ULONG kNtOpenForBackupIntent = 0x00004000;
constexpr ULONG kNtOpenReparsePoint = 0x00200000;

// The statuses this layer tells apart (NTSTATUS).
constexpr LONG kNtSuccess = 0;
constexpr LONG kNtBufferOverflow = (LONG)0x80000005;  // a warning: partial data
constexpr LONG kNtNoMoreFiles = (LONG)0x80000006;
constexpr LONG kNtInfoLengthMismatch = (LONG)0xC0000004;
constexpr LONG kNtNoSuchFile = (LONG)0xC000000F;
constexpr LONG kNtBufferTooSmall = (LONG)0xC0000023;
constexpr LONG kNtAccessDenied = (LONG)0xC0000022;
constexpr LONG kNtObjectNameNotFound = (LONG)0xC0000034;
constexpr LONG kNtObjectPathNotFound = (LONG)0xC000003A;

inline bool ntSucceeded(LONG status) { return status >= 0; }

extern "C" {
LONG NTAPI NtCreateFile(PHANDLE FileHandle, ACCESS_MASK DesiredAccess, NtObjectAttributes* ObjectAttributes,
                        NtIoStatusBlock* IoStatusBlock, PLARGE_INTEGER AllocationSize, ULONG FileAttributes,
                        ULONG ShareAccess, ULONG CreateDisposition, ULONG CreateOptions, PVOID EaBuffer,
                        ULONG EaLength);
LONG NTAPI NtQueryDirectoryFile(HANDLE FileHandle, HANDLE Event, PVOID ApcRoutine, PVOID ApcContext,
                                NtIoStatusBlock* IoStatusBlock, PVOID FileInformation, ULONG Length,
                                NtFileInformationClass FileInformationClass, BOOLEAN ReturnSingleEntry,
                                NtUnicodeString* FileName, BOOLEAN RestartScan);
LONG NTAPI NtQueryInformationFile(HANDLE FileHandle, NtIoStatusBlock* IoStatusBlock, PVOID FileInformation,
                                  ULONG Length, NtFileInformationClass FileInformationClass);
LONG NTAPI NtSetInformationFile(HANDLE FileHandle, NtIoStatusBlock* IoStatusBlock, PVOID FileInformation,
                                ULONG Length, NtFileInformationClass FileInformationClass);
}
