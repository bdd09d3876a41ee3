// The decisions of the Windows platform layer that do not need Windows to be
// made: reading the records the directory and stream queries return, which
// statuses mean "this file system keeps no named streams", whether a name
// narrowed to the file functions' code page can stand in a path, and what
// the Win32 path rules make of a typed last component. os_win32_*.cpp feeds
// them from the system; the unit tests feed them by hand, including the
// malformed and foreign cases Wine cannot produce.
//
// Portable: no Windows header. Records are read byte by byte in little-endian
// order, the order of every Windows machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One entry of a directory listing (FILE_ID_BOTH_DIR_INFORMATION).
struct DirRecord {
  uint32_t attributes = 0;  // FILE_ATTRIBUTE_*
  uint32_t eaSize = 0;      // the reparse tag when attributes has the reparse bit
  uint64_t fileId = 0;      // the file index, as GetFileInformationByHandle gives it
  uint64_t endOfFile = 0;   // the length
  std::u16string name;      // the long name
};

// Reads the record at offset in a listing buffer of size bytes. next is set
// to the offset of the following record, or to size after the last one.
// False when the record, its name or the next offset does not lie whole
// inside the buffer after this record: a chain that would loop or overrun is
// malformed, and nothing after it is read.
bool readDirRecord(const unsigned char* data, size_t size, size_t offset, DirRecord& r, size_t& next);

// The named streams of a FILE_STREAM_INFORMATION chain of size bytes, each
// as the system names it (":name:$DATA"), in order; the main stream
// ("::$DATA") is left out. False when the chain is malformed: a record or
// name outside the buffer, a next offset that does not move forward, or a
// name that is not of the form ":name:type".
bool readStreamNames(const unsigned char* data, size_t size, std::vector<std::u16string>& names);

// Statuses (NTSTATUS) with which a file system that keeps no named streams
// (FAT, exFAT, network shares of such, Wine's drives) declines the stream
// query: the file then has none. Every other failure means they could not be
// listed.
constexpr uint32_t kStatusNotImplemented = 0xC0000002;
constexpr uint32_t kStatusInvalidInfoClass = 0xC0000003;
constexpr uint32_t kStatusInvalidParameter = 0xC000000D;
constexpr uint32_t kStatusInvalidDeviceRequest = 0xC0000010;
constexpr uint32_t kStatusNotSupported = 0xC00000BB;
bool streamQueryMeansNone(uint32_t status);

// The named streams a FileStreamInformation query of a file or a directory
// found, from its status and the size bytes it filled: true with names (empty
// when it has none, or the file system keeps none), false when they could
// not be listed (any other failure, or a malformed chain). A directory has
// no main stream: its list holds only named ones, or nothing at all (success
// with no bytes).
bool streamsOfQuery(uint32_t status, const unsigned char* data, size_t size, std::vector<std::u16string>& names);

// Whether a name the listing gave in UTF-16 (wide) can stand as one
// component of a path in the file functions' text, given its exact narrowed
// form: it fits a path buffer of pathMax characters, no character of it is a
// separator (\ / :) and it is not "." or ".." unless the UTF-16 name is. The
// text is read character by character: lead[b] is true for a byte b that
// starts a double-byte character in the code page, whose trail byte may be
// 0x5C and is then no backslash. Whether the narrowing was exact is the
// caller's to check first.
bool narrowedNameFitsPath(const std::string& narrowed, const std::u16string& wide, const bool (&lead)[256],
                          size_t pathMax);

// Where a typed folder path splits into the folder whose listing holds its
// last component, path[0, parentLength) ("" for the current directory), and
// that component as typed (last), separators after it dropped. False when
// the path has no such component and is opened as it is: a root ("\",
// "C:\", "\\server\share\", "\\?\C:\", "\\?\UNC\server\share\"), a drive's
// current directory ("C:"), a last component "." or "..", or nothing.
bool win32SplitLastComponent(const std::u16string& path, size_t& parentLength, std::u16string& last);

// The name the Win32 path rules hand to the file system for a typed last
// component: its trailing dots and spaces go ("abc. ." names abc), except in
// a "\\?\" path (verbatim), which is passed as typed, and except for the
// relative names "." and "..". Empty when nothing is left.
std::u16string win32LastComponent(const std::u16string& typed, bool verbatim);

// Whether a typed argument holds a wildcard (* or ?) after its device
// prefix: the ? of "\\?\" (a verbatim path) and the . of "\\.\" (a device
// path) are part of the path's form, not of a name, so
// "\\?\C:\dir\file.txt" is a plain name and "\\?\C:\dir\*.txt" a pattern.
// Either slash counts as a separator in the prefix, as in the Win32 rules.
bool win32ArgumentHasWildcards(const std::u16string& typed);

// The attribute word that clears FILE_ATTRIBUTE_READONLY and keeps the other
// attributes a program may set; FILE_ATTRIBUTE_NORMAL when none is left
// (a word of 0 would mean "leave the attributes as they are").
uint32_t attributesWithoutReadOnly(uint32_t attributes);
