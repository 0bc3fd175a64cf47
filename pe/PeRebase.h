// SPDX-License-Identifier: BSD-2-Clause-Patent
// Moves an image to a new base the way a loader or GenFv does: every base
// relocation gets the distance added (HIGHLOW, 4 bytes, on an IA-32 PE32;
// DIR64, 8 bytes, on an X64 PE32+) and the header's ImageBase is set. On the
// file layout of an image, as it lies in a firmware file, or on an image
// already laid out in memory (the emulator's loader).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/Result.h"
#include "pe/PeFile.h"

namespace pe {

struct Pe32Info {
  uint64_t ImageBase = 0;
  uint16_t Machine = 0; // kMachineI386 or kMachineX64
  uint32_t SectionAlignment = 0;
  uint32_t FileAlignment = 0;
  uint32_t EntryPoint = 0; // RVA
  size_t Relocations = 0;  // HIGHLOW or DIR64 entries (padding entries not counted)
};

// Reads an IA-32 PE32 or X64 PE32+ image; an error for anything else, for a
// relocation of another type than its machine's or for one that does not lie
// inside the image's section data.
sio::Result<Pe32Info> ReadPe32(std::span<const uint8_t> Image);

// Rebases Image in place to NewBase; returns the number of relocations
// applied. Every relocation is checked before the first byte changes, and an
// image that would move but has no relocations, or a PE32 moved to 4 GiB or
// above, is refused: it is left as it was.
sio::Result<size_t> RebasePe32(std::span<uint8_t> Image, uint64_t NewBase);

// Applies File's relocations to Memory, the image as LayOutImage laid it out,
// for a load at NewBase (ImageBase in the headers is left alone). The same
// checks and refusals as RebasePe32.
sio::Result<size_t> RelocateLaidOutImage(const PeFile& File, std::span<uint8_t> Memory,
                                         uint64_t NewBase);

// A span of bytes [Begin, End) the relocations of an image must leave alone.
struct ReservedBytes {
  uint64_t Begin = 0;
  uint64_t End = 0;
};

// Refuses relocation sites (SiteBytes each, offsets in the bytes they patch)
// that overlap one another or any of Reserved (the headers, the relocation
// directory). Such a site would change what the next reading of the image
// sees, or make the result depend on the order the sites are patched in, so a
// move there and back would not give the image back. No linker writes them.
sio::Result<void> CheckSitesApart(std::span<const size_t> Sites,
                                  std::span<const ReservedBytes> Reserved, uint32_t SiteBytes);

// Adds Delta to the little-endian value of SiteBytes (4: modulo 2^32, or 8:
// modulo 2^64) at each of Sites in Bytes: the one place a relocation is applied.
void AddToSites(std::span<uint8_t> Bytes, std::span<const size_t> Sites, uint64_t Delta,
                uint32_t SiteBytes);

} // namespace pe
