// SPDX-License-Identifier: BSD-2-Clause-Patent
// The image's board record: constant data in its read-only section, which an
// integrator's build patches after the link. The empty asm hides the
// record's address from the optimizer, so every value is loaded from the
// image's bytes and none is folded into the code.
#include "entry/SioBoardConfig.h"

extern "C" const SioBoardConfig SioBoardConfigRecord = SioBoardConfigDefaults;

const SioBoardConfig* SioBoard() {
  const SioBoardConfig* Record = &SioBoardConfigRecord;
  __asm__("" : "+r"(Record));
  return Record;
}
