// The test build's side of testhooks.h. Not part of the shipped Korwipe.
#include "wipe/os/testhooks.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Reads n bytes at offset, leaving the file position alone.
static bool readAt(OsFile& f, uint64_t offset, unsigned char* data, size_t n) {
  while (n > 0) {
#ifdef _WIN32
    OVERLAPPED ov{};
    ov.Offset = (DWORD)offset;
    ov.OffsetHigh = (DWORD)(offset >> 32);
    DWORD chunk = n > 0x100000 ? 0x100000 : (DWORD)n, got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(f.handle), data, chunk, &got, &ov) || got == 0) return false;
#else
    ssize_t got = pread((int)f.handle, data, n, (off_t)offset);
    if (got <= 0) return false;
#endif
    data += got;
    offset += (uint64_t)got;
    n -= (size_t)got;
  }
  return true;
}

bool testClock(OsUtcTime& t) {
  const char* text = std::getenv("KORWIPE_TEST_CLOCK");
  return text && std::sscanf(text, "%d-%d-%d %d:%d:%d", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                             &t.second) == 6;
}

bool testSettingsPath(const char*& path) {
  path = std::getenv("KORWIPE_TEST_CONFIG");
  return true;
}

void testSnapshot(OsFile& f, uint64_t ordinal) {
  const char* dir = std::getenv("KORWIPE_TEST_SNAPSHOT");
  if (!dir) return;
  uint64_t length = 0;
  if (!osFileLength(f, length)) return;
  uint64_t count = length;
  if (const char* tail = std::getenv("KORWIPE_TEST_SNAPSHOT_TAIL")) {
    uint64_t k = std::strtoull(tail, nullptr, 10);
    if (k < count) count = k;
  }
  std::string name = std::string(dir) + "/pass-" + std::to_string(ordinal);
  FILE* out = std::fopen(name.c_str(), "wb");
  if (!out) return;
  std::vector<unsigned char> buf(1 << 20);
  for (uint64_t off = length - count; off < length;) {
    size_t n = (size_t)std::min<uint64_t>(buf.size(), length - off);
    if (!readAt(f, off, buf.data(), n)) break;
    std::fwrite(buf.data(), 1, n, out);
    off += n;
  }
  std::fclose(out);
}

bool testOneByOne() { return std::getenv("KORWIPE_TEST_ONE_BY_ONE") != nullptr; }
