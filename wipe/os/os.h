// The few file, search, console and clock operations Korwipe needs.
//
// Declared once here and defined by one platform file chosen by the build:
// os_win32*.cpp (native handle calls, text in the ANSI file functions'
// code page) or os_posix.cpp (POSIX calls). Everything above os/ is portable
// and calls only these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "wipe/names/paths.h"

// ---- clock ----------------------------------------------------------------

struct OsUtcTime {
  int year, month, day, hour, minute, second;  // month 1-12, day 1-31
};

OsUtcTime osUtcNow();

// ---- setting --------------------------------------------------------------

// Writes the full path of the machine-wide config.cfg into out. False when the
// path cannot be formed (no folder, or it does not fit in kPathMax).
bool osSettingsPath(char (&out)[kPathMax]);

// ---- files and directories -----------------------------------------------
//
// Everything below works relative to directories held open: an entry is
// listed from an open directory, opened relative to it, checked to be the
// object that was listed, and renamed or removed through it. A path another
// process can change is resolved once, when a form opens the folder it was
// given; after that nothing in a tree is looked up by path again.

// What a name on disk is, looked at without following a link. A link is a
// directory link when it stands for a directory: on Windows a junction or a
// directory symbolic link (by its own directory attribute, whether or not its
// target exists), on POSIX a symbolic link whose target is a directory.
enum class OsNameKind { Missing, File, Directory, FileLink, DirectoryLink };

inline bool osIsLink(OsNameKind k) { return k == OsNameKind::FileLink || k == OsNameKind::DirectoryLink; }

// Who an entry is: device and inode (POSIX), or volume serial number and file
// index (Windows), of the entry itself, never of what a link leads to. The
// Windows listing gives no volume: there volume is that of the directory it
// was listed from.
struct OsFileId {
  uint64_t volume = 0;
  uint64_t index = 0;
};

inline bool operator==(const OsFileId& a, const OsFileId& b) { return a.volume == b.volume && a.index == b.index; }

// An open directory. Non-copyable: the destructor closes it.
struct OsDir {
  intptr_t handle = -1;  // HANDLE or descriptor; -1 when closed
  OsFileId id;           // the directory's own identity
  bool verbatim = false;  // Windows: opened through a "\\?\" path, whose names
                          // keep their trailing dots and spaces
  OsDir() = default;
  OsDir(const OsDir&) = delete;
  OsDir& operator=(const OsDir&) = delete;
  ~OsDir() { close(); }
  bool isOpen() const { return handle != -1; }
  void close();
};

// An open directory shared by the work queued in it (erase/batch.h): closed
// when the last piece of that work lets go of it.
using DirRef = std::shared_ptr<OsDir>;

// One entry of a directory, as listed.
struct OsEntry {
  // The name in the file functions' text (ANSI code page on Windows).
  char name[kPathMax];
  // False when the name cannot stand in a path here: on Windows its UTF-16
  // name has no exact form in the code page, or its nearest form holds a
  // separator or is "." or "..". name then shows it with '?' for what cannot
  // be shown, for messages only. Such an entry is reported, never used.
  bool usable = true;
  OsNameKind kind = OsNameKind::Missing;
  OsFileId id;
  uint64_t size = 0;  // the length the listing gave (0 where it gives none); a hint only
};

inline bool osIsDotName(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Opens the folder part of a name or pattern as typed ("" for the current
// directory). The system resolves the path, links included, except for its
// last component when lastMayBeLink is false: then that component must itself
// be a directory and not a link, since whoever can replace it would choose
// what is erased. False when it cannot be opened.
bool osOpenDirPath(const char* dirPart, bool lastMayBeLink, OsDir& d);

// The current directory, where erased files pass through their neutral name;
// opened once and held for the run. Null when it cannot be opened.
OsDir* osCurrentDir();

// The entries of an open directory, in the system's order. With a name
// pattern only those whose long name it matches (Windows: translated and
// matched by the file system's rules, winmatch.h; POSIX: matchName); without one, every entry, "." and ".."
// included where the system lists them. Non-copyable: the destructor ends it.
struct OsListing {
  intptr_t handle = -1;
  void* state = nullptr;
  OsListing() = default;
  OsListing(const OsListing&) = delete;
  OsListing& operator=(const OsListing&) = delete;
  ~OsListing() { close(); }
  // First entry; false when the listing cannot start or nothing matches.
  bool first(OsDir& d, const char* namePattern, OsEntry& e);
  // Next entry; false when there are no more.
  bool next(OsEntry& e);
  void close();
};

// The entry a plain name (no wildcards) names in d, as the system's search
// finds it (Windows: by its long or its short name, case ignored; e.name is
// then the long name). False when there is none.
bool osLookup(OsDir& d, const char* name, OsEntry& e);

// Opens directory entry e of parent to work in it. False unless what was
// opened is a directory, not a link, and the entry that was listed (same
// identity): a directory swapped for a link since the listing is never
// entered.
bool osOpenDirAt(OsDir& parent, const OsEntry& e, OsDir& out);

// Removes directory e of parent, which dir holds open (dir is closed). True
// only when it is gone.
bool osRemoveDirAt(OsDir& parent, const OsEntry& e, OsDir& dir);

// Removes the link e of d as a name, never touching its target; false when
// it is no longer that link or cannot be removed.
bool osRemoveLinkAt(OsDir& d, const OsEntry& e);

// An open file for overwriting in place. Non-copyable: the destructor closes.
struct OsFile {
  intptr_t handle = -1;  // HANDLE or file descriptor; -1 when closed
  // Windows: the tag of a reparse point that is no link, opened through its
  // file-system filter (its contents may be kept elsewhere); 0 otherwise.
  uint32_t reparseTag = 0;
  // Names the file has (hard links), this one included.
  uint32_t linkCount = 1;
  // The object's identity, taken when it was opened.
  OsFileId id;
  OsFile() = default;
  OsFile(const OsFile&) = delete;
  OsFile& operator=(const OsFile&) = delete;
  ~OsFile() { close(); }
  void close();
};

// Result of osOpenFileAt.
enum class OsOpenResult {
  Opened,  // f holds the open regular file
  Failed,  // gone, a directory, no access, held without sharing, another
           // object than the one listed, ...
  IsLink,  // the entry is now a link: not opened, must not be written through
};

// Opens regular file e of d for reading and writing, shared with other
// readers and writers, never through a link, and only if it is the object
// that was listed. A read-only file is made writable first, through a handle
// on that same object, never by path.
OsOpenResult osOpenFileAt(OsDir& d, const OsEntry& e, OsFile& f);

// The file's length in bytes (64-bit). False when it cannot be taken.
bool osFileLength(OsFile& f, uint64_t& length);

// Moves the file position to offset 0.
bool osSeekStart(OsFile& f);

// Writes n bytes at the current position; true only when all were written.
bool osWriteAll(OsFile& f, const unsigned char* data, size_t n);

// Pushes everything written so far through the system's cache to the disk.
bool osFlush(OsFile& f);

// Flushes n files that were just written, as osFlush does each, but
// sharing the cost: the write-back of all of them is started, waited for,
// and the device's cache is flushed once per file system where that covers
// them all. ok[i] says whether file i is on the disk.
void osFlushGroup(OsFile* const* files, size_t n, bool* ok);

// How many files the batch may hold open at once besides the directories
// of a walk (POSIX raises its own soft limit on descriptors as far as the
// hard one allows, for that).
int osFilesAtOnce();

// The named data streams of f (Windows: NTFS keeps contents beside the main
// ones under names of their own, "file:name"), each opened for update like
// f, in the system's order; none on POSIX. False when they cannot be listed
// or one of them cannot be opened: the file cannot be erased whole.
struct OsStreams {
  std::unique_ptr<OsFile[]> files;
  size_t count = 0;
};
bool osOpenNamedStreams(OsFile& f, OsStreams& out);

// Moves the open file f, entry e of d, to the name to in the current
// directory (osCurrentDir). Never replaces an existing file and never copies:
// on another volume it fails, and the file stays where it is.
bool osMoveToCurrentDir(OsDir& d, const OsEntry& e, OsFile& f, const char* to);

// Deletes the open file f, now under name in directory d (where it was
// listed, or the current directory after the move). f is closed.
bool osDeleteFileAt(OsDir& d, const char* name, OsFile& f);

// Called once, after the setting is read and before any form touches a
// file: the 32-bit Windows program on 64-bit Windows turns off the system's
// file-system redirection for itself, so that C:\Windows\System32\X names
// the file every other program sees there. Nothing to do elsewhere.
void osBeginFileWork();

// ---- command line ----------------------------------------------------------

// The program's arguments (without the program name) in the file functions'
// text. exact is false for one the text cannot hold as typed (Windows: a
// character with no exact form in the code page); it is never replaced by a
// nearest form that could name another file.
struct OsArgument {
  const char* text;
  bool exact;
  bool wild;  // the argument as typed holds * or ? (text may hold '?' in
              // place of what it cannot show)
};

// Fills args; returns their count. argv is the C runtime's.
int osArguments(int argc, char** argv, OsArgument* args, int capacity);

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
