// The device of an open file on Linux: the file system's device number,
// walked in the block-device tree (medium_sysfs.cpp).
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "wipe/erase/medium.h"
#include "wipe/os/os.h"

MediumFinding mediumOfFile(OsFile& f) {
  struct stat st;
  if (fstat((int)f.handle, &st) != 0) return MediumFinding();
  return mediumBelowLinuxDevice(major(st.st_dev), minor(st.st_dev));
}
