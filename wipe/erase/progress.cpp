#include "wipe/erase/progress.h"

#include <cstdio>
#include <cstring>

namespace {

// Most terminals are at least this wide; a longer line would wrap and the
// carriage return would no longer reach its start.
constexpr size_t kLineWidth = 79;
constexpr auto kRedrawEvery = std::chrono::milliseconds(250);

void writeStderr(const char* text, size_t n) {
  std::fwrite(text, 1, n, stderr);
  std::fflush(stderr);
}

}  // namespace

size_t formatProgress(char* out, size_t outSize, const char* path, int pass, int passes,
                      uint64_t passBytes, uint64_t length, double bytesPerSecond, size_t width) {
  unsigned percent = length == 0 ? 100u : (unsigned)(passBytes * 100u / length);
  char tail[64];
  int tailLen = std::snprintf(tail, sizeof tail, "  pass %d/%d  %3u%%  %.0f MB/s", pass, passes, percent,
                              bytesPerSecond / 1e6);
  if (tailLen < 0) tailLen = 0;
  size_t room = width > (size_t)tailLen + 3 ? width - (size_t)tailLen : 3;
  size_t pathLen = std::strlen(path);
  const char* shown = path;
  const char* ellipsis = "";
  if (pathLen > room) {
    shown = path + (pathLen - (room - 3));
    ellipsis = "...";
  }
  int n = std::snprintf(out, outSize, "%s%s%s", ellipsis, shown, tail);
  if (n < 0) return 0;
  return (size_t)n < outSize ? (size_t)n : outSize - 1;
}

void ProgressLine::begin(const char* filePath, uint64_t fileLength, int passCount) {
  enabled = fileLength > kProgressMinLength && stderrIsTerminal();
  path = filePath;
  length = fileLength;
  passes = passCount;
  pass = 0;
  written = 0;
  start = lastShown = std::chrono::steady_clock::now();
  shownWidth = 0;
}

void ProgressLine::beginPass(int passNumber) { pass = passNumber; }

void ProgressLine::update(uint64_t passBytes) {
  if (!enabled) return;
  written = (uint64_t)(pass - 1) * length + passBytes;
  auto now = std::chrono::steady_clock::now();
  // The first segment shows the line at once, so even a quick file shows
  // it; after that the terminal is not redrawn more than a few times a second.
  if (shownWidth != 0 && now - lastShown < kRedrawEvery) return;
  lastShown = now;
  double seconds = std::chrono::duration<double>(now - start).count();
  if (seconds < 1e-3) seconds = 1e-3;
  char line[2 + kLineWidth + 64];
  line[0] = '\r';
  size_t n = 1 + formatProgress(line + 1, sizeof line - 1, path, pass, passes, passBytes, length,
                                (double)written / seconds, kLineWidth);
  // Pad over the rest of a longer earlier line.
  while (n - 1 < shownWidth && n + 1 < sizeof line) line[n++] = ' ';
  writeStderr(line, n);
  shownWidth = n - 1;
}

void ProgressLine::clear() {
  if (shownWidth == 0) return;
  char line[2 + kLineWidth + 64 + 2];
  size_t n = 0;
  line[n++] = '\r';
  for (size_t i = 0; i < shownWidth && n + 2 < sizeof line; ++i) line[n++] = ' ';
  line[n++] = '\r';
  writeStderr(line, n);
  shownWidth = 0;
}
