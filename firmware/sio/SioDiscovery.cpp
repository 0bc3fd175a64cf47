// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sio/SioDiscovery.h"

#include "entry/SioBoardConfig.h"
#include "sio/SioConfigPort.h"
#include "sio/SioDeviceTable.h"

namespace {

// Enters configuration mode at IndexPort and compares the chip ID registers
// with the entry's. Register 0x21 is only selected when register 0x20 matched
// and the entry names a second ID byte.
//
// @param[in] IndexPort  the index port probed.
// @param[in] Entry      the entry whose chip ID bytes are compared.
//
// @retval true   the chip at IndexPort answered with the entry's ID.
// @retval false  it did not.
bool SioProbePort(UINT16 IndexPort, const SioDeviceEntry* Entry) {
  SioEnterConfig(IndexPort);
  if (SioReadReg(IndexPort, SioRegChipIdHigh) != Entry->ChipIdHigh) {
    return false;
  }
  return Entry->ChipIdLow == 0 || SioReadReg(IndexPort, SioRegChipIdLow) == Entry->ChipIdLow;
}

} // namespace

// Not file-local, though only this file calls it: a file-local function with
// one caller is merged into it before the module is linked as a whole, and
// the pass then comes out 4 bytes larger.
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

// Inlined into SioFindBoardConfigPort as this file is compiled, so that the
// walk over the built-in table is done there; the host build (which tests
// call with tables of their own) needs no such hint.
#if defined(__clang__)
__attribute__((always_inline))
#endif
UINT16
SioFindConfigPort(const SioDeviceEntry* Entries, const SioBoardConfig* Board) {
  // Over the constant table the walk is done while the image is built: only
  // the probes of its kind-0x7F entries remain, with the entry's ID bytes as
  // immediates and the ports read from the record.
#if defined(__clang__)
#pragma clang loop unroll(full)
#endif
  for (const SioDeviceEntry* Entry = Entries; !SioIsTerminator(*Entry); ++Entry) {
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

UINT16 SioFindBoardConfigPort(const SioBoardConfig* Board) {
  return SioFindConfigPort(SioDeviceTable, Board);
}
