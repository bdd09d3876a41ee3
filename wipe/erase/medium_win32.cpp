// The disks under an open file's volume on Windows, and what each says of
// itself (medium.h). Every handle here is opened with no access rights:
// the queries need none, so a standard user gets the answers too. A query
// that fails leaves its answer unknown; with nothing known, nothing is said.
#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "wipe/erase/medium.h"
#include "wipe/os/os.h"
#include "wipe/os/winstorage.h"

namespace {
// Closes on every way out; not copyable.
struct Handle {
  HANDLE h;
  explicit Handle(HANDLE opened) : h(opened) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (ok()) CloseHandle(h);
  }
  bool ok() const { return h != INVALID_HANDLE_VALUE && h != nullptr; }
};

HANDLE openDevice(const std::wstring& path) {
  return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, 0, nullptr);
}

// The handle's path in one of the volume forms, up to the first separator
// after the volume's own name: "\\?\Volume{GUID}" or "\\?\C:". Empty when
// the system does not give it.
std::wstring volumePrefix(HANDLE file, DWORD form) {
  wchar_t path[1024];
  DWORD n = GetFinalPathNameByHandleW(file, path, 1024, form);
  if (n == 0 || n >= 1024) return std::wstring();
  std::wstring whole(path, n);
  if (whole.compare(0, 4, L"\\\\?\\") != 0) return std::wstring();
  size_t end = whole.find(L'\\', 4);
  return whole.substr(0, end);
}

// One STORAGE_PROPERTY_QUERY (standard query) of property id; the bytes
// of the answer, empty when the disk gives none.
std::vector<unsigned char> queryProperty(HANDLE disk, DWORD id) {
  struct {
    DWORD propertyId, queryType;
    BYTE additional[4];
  } query = {id, 0, {0, 0, 0, 0}};
  std::vector<unsigned char> answer(1024);
  DWORD bytes = 0;
  if (!DeviceIoControl(disk, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer.data(),
                       (DWORD)answer.size(), &bytes, nullptr))
    bytes = 0;
  answer.resize(bytes);
  return answer;
}

const DWORD kStorageDeviceProperty = 0, kSeekPenaltyProperty = 7, kTrimProperty = 8;

std::string narrow(const std::wstring& w) {
  std::string out;
  for (wchar_t c : w) out += (c >= 0x20 && c < 0x7F) ? (char)c : '?';
  return out;
}
}  // namespace

MediumFinding mediumOfFile(OsFile& f) {
  MediumFinding found;
  HANDLE file = reinterpret_cast<HANDLE>(f.handle);
  std::wstring volume = volumePrefix(file, VOLUME_NAME_GUID);
  if (volume.empty()) return found;
  std::wstring letter = volumePrefix(file, VOLUME_NAME_DOS);
  found.device = narrow(letter.empty() ? volume : letter.substr(4));
  Handle v(openDevice(volume));
  if (!v.ok()) return found;
  // Room for 32 extents: a volume spanning more disks than that is not met.
  unsigned char extents[8 + 24 * 32];
  DWORD bytes = 0;
  std::vector<uint32_t> disks;
  if (!DeviceIoControl(v.h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, extents, sizeof extents, &bytes,
                       nullptr) ||
      !readVolumeDisks(extents, bytes, disks))
    return found;
  for (uint32_t number : disks) {
    Handle disk(openDevice(L"\\\\.\\PhysicalDrive" + std::to_wstring(number)));
    if (!disk.ok()) continue;
    std::vector<unsigned char> penalty = queryProperty(disk.h, kSeekPenaltyProperty);
    std::vector<unsigned char> trim = queryProperty(disk.h, kTrimProperty);
    std::vector<unsigned char> device = queryProperty(disk.h, kStorageDeviceProperty);
    WinDiskDescriptor d;
    readDiskDescriptor(device.data(), device.size(), d);
    const char* kind = flashKindOfWindowsDisk(readDescriptorFlag(penalty.data(), penalty.size()),
                                              readDescriptorFlag(trim.data(), trim.size()), d);
    if (!kind) continue;
    found.kind = kind;
    found.holder = "PhysicalDrive" + std::to_string(number) + (d.model.empty() ? "" : " (" + d.model + ")");
    break;
  }
  return found;
}
