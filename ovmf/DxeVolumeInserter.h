// SPDX-License-Identifier: BSD-2-Clause-Patent
// Adds a DXE driver's firmware file to a DXE volume the way GenFv would have
// placed it: in the free space after the last file, its data aligned as its
// attributes ask (a pad file fills any gap), its state written for the
// volume, its checksums and the volume header's set again. The DXE loader
// copies and relocates a driver's image itself, so the image is not rebased.
#pragma once

#include <cstddef>
#include <span>

#include "common/Result.h"
#include "pi/Guid.h"

namespace ovmf {

struct DriverInsertion {
  pi::Guid Name{};
  size_t FileOffset = 0; // of the file header, in the volume
  size_t FileSize = 0;
  size_t PadSize = 0;    // size of the pad file in front of it (0: none)
  size_t FreeBefore = 0; // free bytes in the volume before the insertion
  size_t FreeAfter = 0;  // and after it
};

// An error (nothing changed) when the file is not a DXE driver file with one
// PE32 section, when the volume already holds a file of that name, or when
// the volume has no room for it.
sio::Result<DriverInsertion> InsertDxeDriver(std::span<uint8_t> Volume,
                                             std::span<const uint8_t> FfsFile);

} // namespace ovmf
