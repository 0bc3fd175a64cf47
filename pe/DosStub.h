// SPDX-License-Identifier: BSD-2-Clause-Patent
// Drops the DOS stub a linker writes between the DOS header and the PE
// headers. A PEI module never runs under DOS, and EDK2's loaders read only
// the DOS header's signature and its pointer to the PE headers. The image is
// laid out as in memory (file offset == RVA, so it runs in place), so the
// sections move down with the headers: every RVA in the headers, the section
// table and the base relocations, and every address a base relocation
// fixes, moves by the same distance. What the image does is unchanged.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/Result.h"

namespace pe {

struct StubRemoval {
  std::vector<uint8_t> Image;
  uint32_t Moved = 0; // bytes every RVA moved down (0: there was no stub)
};

// An error for an image that is neither an IA-32 PE32 nor an X64 PE32+ image
// laid out as in memory with equal section and file alignment, or whose stub
// is not a multiple of that alignment.
sio::Result<StubRemoval> DropDosStub(std::span<const uint8_t> Image);

} // namespace pe
