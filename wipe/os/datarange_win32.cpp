// osNextData on Windows: a file with the sparse attribute is asked for its
// allocated ranges; any other file is data from end to end (the system
// allocates every byte of it).
#include <windows.h>
#include <winioctl.h>

#include "wipe/os/datarange.h"
#include "wipe/os/os.h"
#include "wipe/os/winstorage.h"

bool osNextData(OsFile& f, uint64_t from, uint64_t end, OsDataRange& out) {
  if (from >= end) return false;
  HANDLE h = reinterpret_cast<HANDLE>(f.handle);
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) ||
      !(basic.FileAttributes & FILE_ATTRIBUTE_SPARSE_FILE)) {
    out = {from, end - from};
    return true;
  }
  FILE_ALLOCATED_RANGE_BUFFER query;
  query.FileOffset.QuadPart = (LONGLONG)from;
  query.Length.QuadPart = (LONGLONG)(end - from);
  // A few records at a time: only the first is used, and ERROR_MORE_DATA
  // then still returns whole records.
  unsigned char found[8 * sizeof(FILE_ALLOCATED_RANGE_BUFFER)];
  DWORD bytes = 0;
  if (!DeviceIoControl(h, FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query, found, sizeof found, &bytes,
                       nullptr) &&
      GetLastError() != ERROR_MORE_DATA) {
    out = {from, end - from};  // the system cannot tell: all of it is data
    return true;
  }
  bool any = false;
  if (!readFirstAllocatedRange(found, bytes, from, end, any, out)) {
    out = {from, end - from};
    return true;
  }
  return any;
}
