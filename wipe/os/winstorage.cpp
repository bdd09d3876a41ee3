#include "wipe/os/winstorage.h"

namespace {
uint32_t read32(const unsigned char* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

uint64_t read64(const unsigned char* p) { return (uint64_t)read32(p) | (uint64_t)read32(p + 4) << 32; }

// A zero-ended string at offset at of the record, cut at size; printable
// ASCII only (a disk's firmware chooses these bytes), runs of spaces as one.
void appendText(const unsigned char* data, size_t size, uint32_t at, std::string& out) {
  if (at == 0 || at >= size) return;
  for (size_t i = at; i < size && data[i] != 0 && out.size() < 48; ++i) {
    char c = data[i] >= 0x20 && data[i] < 0x7F ? (char)data[i] : '?';
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
}
}  // namespace

bool readFirstAllocatedRange(const unsigned char* data, size_t size, uint64_t from, uint64_t end, bool& found,
                             OsDataRange& out) {
  found = false;
  if (size % 16 != 0) return false;
  const uint64_t limit = (uint64_t)1 << 63;
  for (size_t at = 0; at < size; at += 16) {
    uint64_t offset = read64(data + at), length = read64(data + at + 8);
    if (offset >= limit || length >= limit || offset + length > limit) return false;
    uint64_t stop = offset + length;
    if (length == 0 || stop <= from || offset >= end) continue;
    uint64_t begin = offset < from ? from : offset;
    out = {begin, (stop < end ? stop : end) - begin};
    found = true;
    return true;
  }
  return true;
}

bool readVolumeDisks(const unsigned char* data, size_t size, std::vector<uint32_t>& disks) {
  disks.clear();
  if (size < 8) return false;
  uint32_t count = read32(data);
  if (count == 0 || count > (size - 8) / 24) return false;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t disk = read32(data + 8 + 24 * (size_t)i);
    bool seen = false;
    for (uint32_t d : disks) seen = seen || d == disk;
    if (!seen) disks.push_back(disk);
  }
  return true;
}

int readDescriptorFlag(const unsigned char* data, size_t size) {
  if (size < 9 || read32(data + 4) < 9) return -1;
  return data[8] != 0 ? 1 : 0;
}

bool readDiskDescriptor(const unsigned char* data, size_t size, WinDiskDescriptor& out) {
  out = WinDiskDescriptor();
  if (size < 32) return false;
  uint32_t own = read32(data + 4);
  if (own < size) size = own;  // the rest of the buffer is not the record's
  if (size < 32) return false;
  out.removable = data[10] != 0 ? 1 : 0;
  uint32_t bus = read32(data + 28);
  out.busType = bus <= 0xFF ? (int)bus : -1;
  appendText(data, size, read32(data + 12), out.model);
  if (!out.model.empty() && out.model.back() != ' ') out.model += ' ';
  appendText(data, size, read32(data + 16), out.model);
  while (!out.model.empty() && out.model.back() == ' ') out.model.pop_back();
  return true;
}

int readVolumeIsRemote(const unsigned char* data, size_t size) {
  if (size < 8) return -1;
  const uint32_t kNetworkFileSystem = 0x14, kRemoteDevice = 0x10;
  return read32(data) == kNetworkFileSystem || (read32(data + 4) & kRemoteDevice) ? 1 : 0;
}
