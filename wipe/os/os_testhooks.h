// Hooks of the test-only build (Korwipe_testcfg, compiled with
// KOR_WIPE_TEST_HOOKS). They let the integration tests fix the clock, point
// the tool at a setting of their own and look at the file after every pass.
// In the shipped Korwipe they are empty and the tool behaves as it always does.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os.h"

#ifdef KOR_WIPE_TEST_HOOKS

// KORWIPE_TEST_CLOCK="YYYY-MM-DD HH:MM:SS" replaces the UTC clock.
bool testClock(OsUtcTime& t);
// Sets path to KORWIPE_TEST_CONFIG, or to null when that is unset, so that a
// test run never reads the machine's own setting. Returns true.
bool testSettingsPath(const char*& path);
// With KORWIPE_TEST_SNAPSHOT=DIR, copies the file's bytes after each flushed
// pass to DIR/pass-N, N being the pass's place in the run as if every file
// were erased one after the other (from 1); with
// KORWIPE_TEST_SNAPSHOT_TAIL=K only its last K bytes.
void testSnapshot(OsFile& f, uint64_t ordinal);
// KORWIPE_TEST_ONE_BY_ONE set: the batch erases every file on its own, one
// after the other, so that a test can hold the batch against that order.
bool testOneByOne();
// Reads n bytes at offset; used by the snapshot hook only.
bool osReadAt(OsFile& f, uint64_t offset, unsigned char* data, size_t n);

#else

inline bool testClock(OsUtcTime&) { return false; }
inline bool testSettingsPath(const char*&) { return false; }
inline void testSnapshot(OsFile&, uint64_t) {}
inline bool testOneByOne() { return false; }

#endif
