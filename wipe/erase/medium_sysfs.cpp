// The walk over the Linux block-device tree (medium.h), read through the
// seam of devtree.h.
//
// /sys/dev/block/MAJ:MIN links to the device's folder, e.g.
// /sys/devices/pci0000:00/0000:00:1f.2/ata1/host0/.../block/sda/sda1. A
// partition's folder holds a "partition" file and lies inside its disk's
// folder; only the disk has queue/rotational and removable. A device-mapper
// or md device lists the devices it is made of in slaves/ (links to their
// folders); a loop device names its backing file in loop/backing_file, and
// that file lies on a device of its own. Every device on the way counts:
// an encrypted volume over a partition of an SSD is on the SSD.
//
// What the tree says is the kernel's, but the walk is bounded anyway (depth
// and devices seen), follows only links that stay under /sys, and a device
// met twice is not walked again.
#include <vector>

#include "wipe/erase/medium.h"
#include "wipe/os/devtree.h"

namespace {
constexpr int kMaxDepth = 16;
constexpr size_t kMaxDevices = 64;

std::string parentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// path with "." and empty components dropped and ".." taken back; absolute.
std::string normalise(const std::string& path) {
  std::vector<std::string> parts;
  for (size_t at = 0; at <= path.size();) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

// The folder a link under /sys leads to; false unless it stays under /sys.
bool resolve(const std::string& link, std::string& out) {
  std::string target;
  if (!devTreeReadLink(link, target) || target.empty()) return false;
  out = normalise(target[0] == '/' ? target : parentOf(link) + "/" + target);
  return out.compare(0, 5, "/sys/") == 0;
}

// An attribute's first line, without the line end.
std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

bool attributeIs(const std::string& path, const char* want) {
  std::string text;
  return devTreeReadText(path, text) && firstLine(text) == want;
}

// True when the device sits on a USB bus: a component of its folder is a
// USB root hub ("usb1", "usb2", ...).
bool onUsb(const std::string& folder) {
  for (size_t at = folder.find("/usb"); at != std::string::npos; at = folder.find("/usb", at + 1)) {
    size_t digits = at + 4, end = digits;
    while (end < folder.size() && folder[end] >= '0' && folder[end] <= '9') ++end;
    if (end > digits && (end == folder.size() || folder[end] == '/')) return true;
  }
  return false;
}

// Kernel names are plain, but what goes to the console is made sure to be.
std::string printable(const std::string& name) {
  std::string out;
  for (char c : name.substr(0, 64)) out += (c > 0x20 && c < 0x7F) ? c : '?';
  return out;
}

struct Walk {
  std::vector<std::string> seen;
  MediumFinding found;
};

bool visitFolder(Walk& w, const std::string& folder, int depth);

bool visitDevice(Walk& w, unsigned major, unsigned minor, int depth) {
  std::string folder;
  return resolve("/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor), folder) &&
         visitFolder(w, folder, depth);
}

bool visitFolder(Walk& w, const std::string& folder, int depth) {
  if (depth > kMaxDepth || w.seen.size() >= kMaxDevices) return false;
  for (const std::string& s : w.seen)
    if (s == folder) return false;
  w.seen.push_back(folder);
  std::string text;
  if (devTreeReadText(folder + "/partition", text)) return visitFolder(w, parentOf(folder), depth + 1);
  const char* kind = nullptr;
  if (attributeIs(folder + "/queue/rotational", "0"))
    kind = kMediumSolidState;
  else if (attributeIs(folder + "/removable", "1") && onUsb(folder))
    kind = kMediumRemovableFlash;
  if (kind) {
    w.found.kind = kind;
    w.found.holder = printable(nameOf(folder));
    return true;
  }
  std::vector<std::string> below;
  if (devTreeList(folder + "/slaves", below)) {
    for (const std::string& name : below) {
      std::string member;
      if (resolve(folder + "/slaves/" + name, member) && visitFolder(w, member, depth + 1)) return true;
    }
  }
  unsigned major = 0, minor = 0;
  if (devTreeReadText(folder + "/loop/backing_file", text)) {
    std::string file = firstLine(text);
    if (!file.empty() && devTreeBackingDevice(file, major, minor) && visitDevice(w, major, minor, depth + 1))
      return true;
  }
  return false;
}
}  // namespace

MediumFinding mediumBelowLinuxDevice(unsigned major, unsigned minor) {
  Walk w;
  std::string folder;
  if (!resolve("/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor), folder)) return w.found;
  std::string mapped;
  // A device-mapper device is known by its name (/dev/mapper/NAME), not
  // by its number.
  if (devTreeReadText(folder + "/dm/name", mapped) && !firstLine(mapped).empty())
    w.found.device = "/dev/mapper/" + printable(firstLine(mapped));
  else
    w.found.device = "/dev/" + printable(nameOf(folder));
  visitFolder(w, folder, 0);
  return w.found;
}
