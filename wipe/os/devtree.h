// The Linux block-device tree, as the kernel shows it under /sys, read
// through four calls. A link-time seam: devtree_linux.cpp reads the real
// /sys and stats the real file; the unit tests define a made-up tree, so
// that the walk over it (erase/medium.h) is tested without devices.
//
// Paths are absolute and lie under /sys, except the path given to
// devTreeBackingDevice, which is a loop device's backing file.
#pragma once

#include <string>
#include <vector>

// The text of a small attribute file; false when there is none.
bool devTreeReadText(const std::string& path, std::string& text);

// The target text of a symbolic link, as stored (often relative); false
// when path is no link.
bool devTreeReadLink(const std::string& path, std::string& target);

// The names in a folder ("." and ".." left out); false when it is none.
bool devTreeList(const std::string& path, std::vector<std::string>& names);

// The device (major:minor) of the file system that holds the file at path,
// without following a last component that is a link; false when it cannot
// be had.
bool devTreeBackingDevice(const std::string& path, unsigned& major, unsigned& minor);
