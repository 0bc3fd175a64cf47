#include "sio/SioDiscovery.h"

#include "sio/SioConfigPort.h"
#include "sio/SioDeviceTable.h"

namespace {

// Enter configuration mode at P and compare the chip ID registers. Register
// 0x21 is only selected when register 0x20 matched and the entry names a
// second ID byte.
bool SioProbePort(UINT16 P, const SioDeviceEntry* Entry) {
  SioEnterConfig(P);
  if (SioReadReg(P, SioRegChipIdHigh) != Entry->ChipIdHigh) {
    return false;
  }
  return Entry->ChipIdLow == 0 || SioReadReg(P, SioRegChipIdLow) == Entry->ChipIdLow;
}

} // namespace

UINT16 SioProbeChip(const SioDeviceEntry* Entry) {
  if (Entry->IoBase != 0 && SioProbePort(Entry->IoBase, Entry)) {
    return Entry->IoBase;
  }
  for (UINT16 P : SioCandidatePorts) {
    if (SioProbePort(P, Entry)) {
      return P;
    }
  }
  return 0;
}

UINT16 SioFindConfigPort(const SioDeviceEntry* Entries) {
  for (const SioDeviceEntry* Entry = Entries; !SioIsTerminator(*Entry); ++Entry) {
    if (Entry->Kind != SioKindConfig) {
      continue;
    }
    UINT16 P = SioProbeChip(Entry);
    if (P != 0) {
      return P;
    }
  }
  return 0;
}
