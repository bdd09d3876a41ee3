// A path in the test's temporary folder that no other test process uses: the
// plain and the sanitizer build of a unit test run side by side, and a name
// they shared would have one truncate the other's file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

inline std::string scratchPath(const char* name) {
  return testing::TempDir() + "/kor-" + std::to_string(getpid()) + "-" + name;
}
