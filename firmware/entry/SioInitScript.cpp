// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "entry/SioInitScript.h"

#include "entry/SioBoardConfig.h"
#include "sio/SioDeviceTable.h"

// The device table's first entry (logical device 0) and the default script
// agree on where that device decodes.
static_assert(SioDeviceTable[0].IoBase == SioInitScriptIoBase(0));

void SioRunInitScript(UINT16 IndexPort, const SioBoardConfig* Board) {
  // The record closes the reserved pairs with a (0x00, 0x00) pair of its own:
  // one test per pair ends the script at its end pair, or at the end of its
  // reserved bytes when it holds none.
  const SioRegisterWrite* Write = Board->InitScript;
  // Register and value in one 16-bit load; x86 is little-endian, so the
  // register byte is the low one.
  UINT16 Pair;
  __builtin_memcpy(&Pair, Write, sizeof Pair);
  if (Pair == 0) {
    return;
  }
  do {
    SioWriteReg(IndexPort, static_cast<UINT8>(Pair), static_cast<UINT8>(Pair >> 8));
    __builtin_memcpy(&Pair, ++Write, sizeof Pair);
  } while (Pair != 0);
}
