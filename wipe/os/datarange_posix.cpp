#include <unistd.h>

#include <cerrno>

#include "wipe/os/datarange.h"
#include "wipe/os/os.h"

bool osNextData(OsFile& f, uint64_t from, uint64_t end, OsDataRange& out) {
  if (from >= end) return false;
  int fd = (int)f.handle;
  off_t data = lseek(fd, (off_t)from, SEEK_DATA);
  if (data < 0) {
    // ENXIO: nothing but holes from here to the end of the file. Any other
    // failure (a system without the call): the system cannot tell, so all
    // of it is data.
    if (errno == ENXIO) return false;
    out = {from, end - from};
    return true;
  }
  if ((uint64_t)data >= end) return false;
  off_t hole = lseek(fd, data, SEEK_HOLE);
  uint64_t stop = hole < 0 || (uint64_t)hole > end || hole <= data ? end : (uint64_t)hole;
  out = {(uint64_t)data, stop - (uint64_t)data};
  return true;
}
