// Where the original of a file on an overlay mount lies.
//
// An overlay (containers, live systems) shows a writable upper folder over
// read-only lower ones. A file that comes from a lower layer is copied up
// when it is first opened for writing, so erasing it through the merged
// view overwrites the copy: the original stays whole in its lower layer.
// A file made in the upper layer has no other copy. To tell them apart, the
// mount's lower layers are read from its line in /proc/self/mountinfo, and
// the file's path inside the mount is looked up in each of them
// (residue_posix.cpp does the looking).
//
// Where it is weak: a folder renamed on the overlay (redirect_dir) keeps
// its files under the old name below, which this does not follow, and a
// lower layer mounted from another mount namespace is not visible here;
// the latter counts as "cannot tell" (a warning), the former is missed.
#pragma once

#include <string>
#include <vector>

// The lower layers of mount mountId (the "mnt_id" of /proc/self/fdinfo) as
// listed in mountinfo text, topmost first, and the path inside the mount of
// the file whose path is openPath (the link text of /proc/self/fd/N, a path
// in this process's view). inside starts with '/'; a lower layer's copy of
// the file would be at lowerRoot + inside. False when the text does not
// tell: no such mount, no overlay, a lower layer not given as an absolute
// path, or openPath not under the mount point.
bool overlayLowerPaths(const std::string& mountInfo, unsigned mountId, const std::string& openPath,
                       std::vector<std::string>& lowerRoots, std::string& inside);

struct OsFile;

// Reasons, as printed inside the warning's parentheses.
extern const char* const kReasonLowerLayer;       // a lower layer holds the file's original
extern const char* const kReasonMaybeLowerLayer;  // the layers cannot be looked at

// Linux: the reason for open file f, which lies on an overlay: one of the
// two above, or null when no lower layer holds a regular file at its path
// (a file made in the upper layer). Reads /proc/self/fdinfo, the link of
// /proc/self/fd and /proc/self/mountinfo, and looks the path up (lstat,
// no link followed) in each lower layer.
const char* overlayReasonForFile(OsFile& f);

// Linux: the whole text of a small system file (/proc, /sys); empty when it
// cannot be read.
std::string readSystemText(const std::string& path);
