// The few file, search, console and clock operations Korwipe needs.
//
// Declared once here and defined by one platform file chosen by the build:
// os_win32.cpp (Win32 ANSI calls) or os_posix.cpp (POSIX calls). Everything
// else in wipe/ is portable and calls only these.
#pragma once

#include <cstddef>
#include <cstdint>

// Paths live in fixed buffers of this many characters, terminator included.
constexpr size_t kPathMax = 260;

// True for a character that ends the directory part of a path or pattern:
// backslash, slash and a drive colon on Windows, slash on POSIX.
bool osIsSeparator(char c);

// The separator written between a directory and an entry name.
char osSeparator();

// Bytes of the character that starts at text (which is not at its end): 2
// for the lead byte of a double-byte character in the code page of the
// Windows file functions (there a trail byte may be 0x5C, a backslash), 1
// otherwise. Always 1 on POSIX, where no byte of a multi-byte UTF-8
// character is an ASCII one.
size_t osCharLength(const char* text);

// ---- clock ----------------------------------------------------------------

struct OsUtcTime {
  int year, month, day, hour, minute, second;  // month 1-12, day 1-31
};

OsUtcTime osUtcNow();

// ---- setting --------------------------------------------------------------

// Writes the full path of the machine-wide config.cfg into out. False when the
// path cannot be formed (no folder, or it does not fit in kPathMax).
bool osSettingsPath(char (&out)[kPathMax]);

// ---- files ----------------------------------------------------------------

// What a name on disk is, looked at without following a link. A link is a
// directory link when it stands for a directory: on Windows a junction or a
// directory symbolic link (by its own directory attribute, whether or not its
// target exists), on POSIX a symbolic link whose target is a directory.
enum class OsNameKind { Missing, File, Directory, FileLink, DirectoryLink };

inline bool osIsLink(OsNameKind k) { return k == OsNameKind::FileLink || k == OsNameKind::DirectoryLink; }

OsNameKind osNameKind(const char* path);

// Clears the read-only state of a file (Windows: the attribute; POSIX: adds
// write permission for the owner). Links are left alone.
void osClearReadOnly(const char* path);

// An open file for overwriting in place. Non-copyable: the destructor closes.
struct OsFile {
  intptr_t handle = -1;  // HANDLE or file descriptor; -1 when closed
  // Windows: the tag of a reparse point that is no link, opened through its
  // file-system filter (its contents may be kept elsewhere); 0 otherwise.
  uint32_t reparseTag = 0;
  OsFile() = default;
  OsFile(const OsFile&) = delete;
  OsFile& operator=(const OsFile&) = delete;
  ~OsFile() { close(); }
  void close();
};

// Result of osOpenForUpdate.
enum class OsOpenResult {
  Opened,     // f holds the open regular file
  Failed,     // missing, a directory, no access, held without sharing, ...
  IsLink,     // the name is a link: it was not opened and must not be written through
};

// Opens an existing regular file for reading and writing, shared with other
// readers and writers, never through a link.
OsOpenResult osOpenForUpdate(const char* path, OsFile& f);

// The file's length in bytes (64-bit). False when it cannot be taken.
bool osFileLength(OsFile& f, uint64_t& length);

// Moves the file position to offset 0.
bool osSeekStart(OsFile& f);

// Writes n bytes at the current position; true only when all were written.
bool osWriteAll(OsFile& f, const unsigned char* data, size_t n);

// Pushes everything written so far through the system's cache to the disk.
bool osFlush(OsFile& f);

// Renames from to the relative or absolute name to; fails when to exists
// (never replaces a file).
bool osMoveNoReplace(const char* from, const char* to);

bool osDeleteFile(const char* path);

// Removes a link as a name; its target is left untouched.
bool osRemoveLink(const char* path);

bool osRemoveDirectory(const char* path);

// ---- search ---------------------------------------------------------------

struct OsFindEntry {
  char name[kPathMax];
  bool isDirectory;  // a directory, or a link to one
  bool isLink;       // a symbolic link, junction or other name surrogate
};

// An open search for the entries matching a pattern (directory part plus a
// name pattern with * and ?). Non-copyable: the destructor closes it.
struct OsSearch {
  intptr_t handle = -1;
  void* state = nullptr;
  OsSearch() = default;
  OsSearch(const OsSearch&) = delete;
  OsSearch& operator=(const OsSearch&) = delete;
  ~OsSearch() { close(); }
  // First entry; false when the search cannot start or nothing matches.
  bool first(const char* pattern, OsFindEntry& e);
  // Next entry; false when there are no more.
  bool next(OsFindEntry& e);
  void close();
};

// ---- console --------------------------------------------------------------

// The console itself (not standard input/output), for the directory form's
// question. Non-copyable: the destructor closes it.
struct OsConsole {
  intptr_t in = -1;
  intptr_t out = -1;
  int pendingCode = -1;  // second code of a key that yields no character
  OsConsole() = default;
  OsConsole(const OsConsole&) = delete;
  OsConsole& operator=(const OsConsole&) = delete;
  ~OsConsole() { close(); }
  // False when there is no console to read keys from.
  bool open();
  // Reads one key in raw mode (no Enter needed, nothing echoed by the system)
  // and returns its code 0-255, or -1 when no key can be read. A key that
  // yields no character comes as two calls: a prefix (0x00 or 0xE0), then
  // its code. echo is set to the character to echo, or -1 for none.
  int readKey(int& echo);
  void echo(char c);
  void close();
};
