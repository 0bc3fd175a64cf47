// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sio/SioDiscovery.h"

#include "entry/SioBoardConfig.h"
#include "sio/SioConfigPort.h"
#include "sio/SioDeviceTable.h"

namespace {

// Enter configuration mode at IndexPort and compare the chip ID registers.
// Register 0x21 is only selected when register 0x20 matched and the entry
// names a second ID byte.
bool SioProbePort(UINT16 IndexPort, const SioDeviceEntry* Entry) {
  SioEnterConfig(IndexPort);
  if (SioReadReg(IndexPort, SioRegChipIdHigh) != Entry->ChipIdHigh) {
    return false;
  }
  return Entry->ChipIdLow == 0 || SioReadReg(IndexPort, SioRegChipIdLow) == Entry->ChipIdLow;
}

// One probe loop over Count (at least 1) ports in order, skipping the ones
// that are 0.
UINT16 SioProbePorts(const SioDeviceEntry* Entry, const UINT16* Ports, UINTN Count) {
  const UINT16* End = Ports + Count;
  do {
    UINT16 IndexPort = *Ports;
    if (IndexPort != 0 && SioProbePort(IndexPort, Entry)) {
      return IndexPort;
    }
  } while (++Ports != End);
  return 0;
}

} // namespace

UINT16 SioProbeChip(const SioDeviceEntry* Entry) {
  UINT16 First = Entry->IoBase;
  UINT16 IndexPort = SioProbePorts(Entry, &First, 1);
  if (IndexPort != 0) {
    return IndexPort;
  }
  return SioProbePorts(Entry, SioBoard()->ProbePorts + 1, SioCandidatePortCount);
}

UINT16 SioFindConfigPort(const SioDeviceEntry* Entries) {
  for (const SioDeviceEntry* Entry = Entries; !SioIsTerminator(*Entry); ++Entry) {
    if (Entry->Kind != SioKindConfig) {
      continue;
    }
    UINT16 IndexPort = SioProbeChip(Entry);
    if (IndexPort != 0) {
      return IndexPort;
    }
  }
  return 0;
}

UINT16 SioFindBoardConfigPort(const SioBoardConfig* Board) {
  // Over the constant table the walk is done while the image is built: only
  // the probes of its kind-0x7F entries remain, with the entry's ID bytes as
  // immediates and the ports read from the record.
#if defined(__clang__)
#pragma clang loop unroll(full)
#endif
  for (const SioDeviceEntry* Entry = SioDeviceTable; !SioIsTerminator(*Entry); ++Entry) {
    if (Entry->Kind != SioKindConfig) {
      continue;
    }
    UINT16 IndexPort = SioProbePorts(Entry, Board->ProbePorts, 1 + SioCandidatePortCount);
    if (IndexPort != 0) {
      return IndexPort;
    }
  }
  return 0;
}
