#include <fcntl.h>

#include "wipe/os/os.h"
#include "wipe/os/writeback.h"

bool writebackStart(OsFile& f, uint64_t offset, size_t n) {
  return sync_file_range((int)f.handle, (off_t)offset, (off_t)n, SYNC_FILE_RANGE_WRITE) == 0;
}

bool writebackFinish(OsFile& f, uint64_t offset, size_t n) {
  if (sync_file_range((int)f.handle, (off_t)offset, (off_t)n,
                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) != 0)
    return false;
  // Only a hint that the cache may drop what is now on the disk.
  posix_fadvise((int)f.handle, (off_t)offset, (off_t)n, POSIX_FADV_DONTNEED);
  return true;
}
