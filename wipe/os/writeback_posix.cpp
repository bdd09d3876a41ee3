#include <fcntl.h>

#include "os.h"
#include "writeback.h"

void writebackStart(OsFile& f, uint64_t offset, size_t n) {
  sync_file_range((int)f.handle, (off_t)offset, (off_t)n, SYNC_FILE_RANGE_WRITE);
}

void writebackFinish(OsFile& f, uint64_t offset, size_t n) {
  sync_file_range((int)f.handle, (off_t)offset, (off_t)n,
                  SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
  posix_fadvise((int)f.handle, (off_t)offset, (off_t)n, POSIX_FADV_DONTNEED);
}
