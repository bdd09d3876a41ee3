#include "wipe/erase/medium.h"

#include <vector>

#include "wipe/erase/report.h"
#include "wipe/os/os.h"

const char* const kMediumSolidState = "solid-state drive";
const char* const kMediumRemovableFlash = "removable flash drive (USB stick or memory card)";

const char* flashKindOfWindowsDisk(int seekPenalty, int trimEnabled, const WinDiskDescriptor& d) {
  if (seekPenalty == 0) return kMediumSolidState;
  if (seekPenalty == 1) return nullptr;
  bool flashBus = d.busType == kBusTypeUsb || d.busType == kBusTypeSd || d.busType == kBusTypeMmc;
  if (d.removable == 1 && flashBus) return kMediumRemovableFlash;
  if (trimEnabled == 1) return kMediumSolidState;
  return nullptr;
}

std::string mediumReason(const MediumFinding& m) {
  if (!m.kind) return std::string();
  return m.holder + " is a " + m.kind +
         ": it writes to fresh flash pages and keeps the old ones until it clears them";
}

namespace {
struct Known {
  uint64_t volume;
  MediumFinding finding;
  bool told;
};

// A run meets a handful of devices at most.
std::vector<Known>& known() {
  static std::vector<Known> devices;
  return devices;
}

Known* find(uint64_t volume) {
  for (Known& k : known())
    if (k.volume == volume) return &k;
  return nullptr;
}
}  // namespace

void mediumNote(OsFile& f) {
  if (find(f.id.volume)) return;
  known().push_back({f.id.volume, mediumOfFile(f), false});
}

void printMediumWarning(uint64_t volume) {
  Known* k = find(volume);
  if (!k || k->told || !k->finding.kind) return;
  k->told = true;
  const char* device = k->finding.device.empty() ? "this device" : k->finding.device.c_str();
  reportWarning("warning: the old contents of files erased on %s may remain on the disk (%s)\n", device,
                mediumReason(k->finding).c_str());
}
