// How a Windows directory entry is told apart: file, directory, or a link to
// either. Plain functions of the attribute word and the reparse tag, so that
// the rule is tested on every build; the Windows layer feeds them from the
// listing record (its EaSize field holds a reparse point's tag: win32_io.cpp)
// and from handles (FileAttributeTagInfo).
//
// A reparse point is only a link when its tag is a name surrogate: it stands
// for another name (symbolic link, junction/mount point, WSL symbolic link).
// Every other reparse point carries data of its own behind a file-system
// filter (deduplicated, cloud placeholder, compressed by the overlay filter,
// held by a storage manager) and is a file or directory like any other: it
// is overwritten or walked, never just removed as a name.
#pragma once

#include <cstdint>

#include "wipe/os/os.h"

// Attribute bits as Windows defines them (FILE_ATTRIBUTE_*).
constexpr uint32_t kWinAttrDirectory = 0x10;
constexpr uint32_t kWinAttrReparsePoint = 0x400;

// The name-surrogate bit of a reparse tag (IsReparseTagNameSurrogate).
constexpr uint32_t kReparseNameSurrogate = 0x20000000;

// A tag the system can actually store: only the flag bits 28-31 and the
// low 16 bits may be set, and 0 to 2 are reserved (IsReparseTagValid).
inline bool reparseTagIsValid(uint32_t tag) { return (tag & ~0xF000FFFFu) == 0 && tag > 2; }

// True when a reparse point with this tag is a link. A tag that is not
// valid means the real one could not be read (Wine shows a POSIX link to a
// directory as a reparse point with tag 0): such an entry is taken as a
// link, so that it is neither entered nor written through.
inline bool reparseTagIsLink(uint32_t tag) { return !reparseTagIsValid(tag) || (tag & kReparseNameSurrogate) != 0; }

// The kind of an existing entry from its attributes and, when the reparse
// attribute is set, its tag (ignored otherwise). A link keeps its own
// directory attribute: a junction or directory symbolic link is a
// DirectoryLink even when its target is gone. A file whose tag could not be
// read is no link: removing it as a name could delete contents that were
// never overwritten, so it goes to the open, which refuses it (it is then
// reported as a file that could not be erased).
inline OsNameKind windowsNameKind(uint32_t attributes, uint32_t reparseTag) {
  bool directory = (attributes & kWinAttrDirectory) != 0;
  if ((attributes & kWinAttrReparsePoint) && reparseTagIsLink(reparseTag)) {
    if (directory) return OsNameKind::DirectoryLink;
    if (reparseTagIsValid(reparseTag)) return OsNameKind::FileLink;
  }
  return directory ? OsNameKind::Directory : OsNameKind::File;
}
