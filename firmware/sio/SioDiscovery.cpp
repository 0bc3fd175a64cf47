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
  // One probe loop: step 0 is the entry's own port (skipped when it names
  // none), steps 1 to 4 are the candidate ports in order.
  constexpr UINTN SioCandidateCount = sizeof(SioCandidatePorts) / sizeof(SioCandidatePorts[0]);
  // Read once, ahead of the loop, so that for a constant entry the port is a
  // constant too and the entry need not be kept in the image.
  const UINT16 First = Entry->IoBase;
  for (UINTN Step = 0; Step <= SioCandidateCount; ++Step) {
    UINT16 P = Step == 0 ? First : SioCandidatePorts[Step - 1];
    if (P != 0 && SioProbePort(P, Entry)) {
      return P;
    }
  }
  return 0;
}

UINT16 SioFindConfigPort(const SioDeviceEntry* Entries) {
  // Over a constant table, such as SioDeviceTable, the walk is done while
  // the image is built: only the probes of its kind-0x7F entries remain.
#if defined(__clang__)
#pragma clang loop unroll(full)
#endif
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
