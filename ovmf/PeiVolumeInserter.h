// SPDX-License-Identifier: BSD-2-Clause-Patent
// Adds a PEIM's firmware file to a PEI volume the way GenFv would have placed
// it: in the free space after the last file (or ahead of the first PEIM, the
// files after it moved up and their images rebased), its data and image aligned as
// they ask (a pad file fills any gap), its PE32 or TE image validated and
// rebased to the address it will sit at, its checksums and state written for
// the volume.
#pragma once

#include <cstdint>
#include <span>

#include "common/Result.h"
#include "pi/Guid.h"

namespace ovmf {

struct Insertion {
  pi::Guid Name{};
  size_t FileOffset = 0;     // of the file header, in the volume
  size_t PadSize = 0;        // size of the pad file in front of it (0: none)
  size_t FreeBefore = 0;     // free bytes in the volume before the insertion
  size_t Moved = 0;          // bytes the files after it moved up (InsertAt::AheadOfPeims)
  uint32_t ImageAddress = 0; // the image's new base: where its RVA 0 lies
  bool Te = false;           // the image is in TE form (else PE32)
  size_t Relocations = 0;
};

// Where the file goes: after the last file (as GenFv would have added it),
// or ahead of the volume's first PEIM, so that the PEI Foundation meets it
// before the others and only its dependency expression can hold it back.
enum class InsertAt { End, AheadOfPeims };

// An error (nothing changed) when the file is not a valid PEIM file with one
// PE32 or TE image that passes the module image validation, when the volume
// already holds a file of that name, or when the volume has no room for it.
sio::Result<Insertion> InsertPeim(std::span<uint8_t> Volume, uint32_t VolumeAddress,
                                  std::span<const uint8_t> FfsFile, InsertAt Where = InsertAt::End);

} // namespace ovmf
