#include "entry/SioInitScript.h"

#include "sio/SioDeviceTable.h"

// The device table's first entry (logical device 0) and the script agree on
// where that device decodes.
static_assert(SioDeviceTable[0].IoBase == SioInitScriptIoBase(0));

void SioRunInitScript(UINT16 P) {
  // Played by its length, known at build time: no end-pair test per pair.
  static_assert(SioInitScriptLength > 0);
  const SioRegisterWrite* Write = SioInitScript;
  do {
    // Register and value in one 16-bit load; IA-32 is little-endian, so the
    // register byte is the low one.
    UINT16 Pair;
    __builtin_memcpy(&Pair, Write, sizeof Pair);
    SioWriteReg(P, static_cast<UINT8>(Pair), static_cast<UINT8>(Pair >> 8));
  } while (++Write != SioInitScript + SioInitScriptLength);
}
