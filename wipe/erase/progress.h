// The progress line of a long overwrite.
//
// While a file of more than 64 MiB is overwritten, and only when standard
// error is a terminal, one line there shows the file, the pass, how much of
// the pass is written and the speed so far. It is redrawn in place (a
// carriage return, no new line) after a segment reaches the disk, at most
// every 250 ms, and wiped when the file is done, so the terminal looks as if
// it had never been there. Standard output never sees it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

struct ProgressLine {
  bool enabled = false;
  std::string path;  // as the terminal is sent it (shownOnTerminal)
  uint64_t length = 0;
  int pass = 0;          // 1-based, of passes
  int passes = 0;
  uint64_t written = 0;  // bytes written to the file over all passes
  std::chrono::steady_clock::time_point start, lastShown;
  size_t shownWidth = 0;  // characters on the terminal now; 0 when nothing is

  ProgressLine() = default;
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  ~ProgressLine() { clear(); }

  // Decides whether this file gets a line at all.
  void begin(const char* filePath, uint64_t fileLength, int passCount);
  void beginPass(int passNumber);
  // passBytes of the current pass are now written.
  void update(uint64_t passBytes);
  // Wipes the line from the terminal (before any message goes out).
  void clear();
};

// Files longer than this get a progress line.
constexpr uint64_t kProgressMinLength = 64ull << 20;

// The line as shown, without the leading carriage return; the path is
// shortened from the left so that the whole fits in `width` columns.
size_t formatProgress(char* out, size_t outSize, const char* path, int pass, int passes,
                      uint64_t passBytes, uint64_t length, double bytesPerSecond, size_t width);
