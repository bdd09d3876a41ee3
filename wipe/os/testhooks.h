// Hooks of the test build of Korwipe (Korwipe_testcfg). They let the
// integration tests fix the clock, point the tool at a setting of their own
// and look at the file after every pass.
//
// A seam chosen at link time: the shipped program links testhooks_shipped.cpp,
// where every hook says "not set" and the tool behaves as it always does; the
// test build links testhooks_env.cpp, which reads the variables below.
#pragma once

#include <cstdint>

#include "wipe/os/os.h"

// KORWIPE_TEST_CLOCK="YYYY-MM-DD HH:MM:SS" replaces the UTC clock.
bool testClock(OsUtcTime& t);
// The test build sets path to KORWIPE_TEST_CONFIG, or to null when that is
// unset, so that a test run never reads the machine's own setting, and
// returns true. The shipped program returns false.
bool testSettingsPath(const char*& path);
// With KORWIPE_TEST_SNAPSHOT=DIR, copies the file's bytes after each flushed
// pass to DIR/pass-N, N being the pass's place in the run as if every file
// were erased one after the other (from 1); with
// KORWIPE_TEST_SNAPSHOT_TAIL=K only its last K bytes.
void testSnapshot(OsFile& f, uint64_t ordinal);
// KORWIPE_TEST_ONE_BY_ONE set: the batch erases every file on its own, one
// after the other, so that a test can hold the batch against that order.
bool testOneByOne();
