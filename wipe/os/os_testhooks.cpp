// Test-only build: see os_testhooks.h. Not part of the shipped Korwipe.
#include "os_testhooks.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

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
    if (!osReadAt(f, off, buf.data(), n)) break;
    std::fwrite(buf.data(), 1, n, out);
    off += n;
  }
  std::fclose(out);
}

bool testOneByOne() { return std::getenv("KORWIPE_TEST_ONE_BY_ONE") != nullptr; }
