// SPDX-License-Identifier: BSD-2-Clause-Patent
// The terse executable (TE) form of a PE32 or PE32+ image: the DOS header, stub, PE
// signature, file header and optional header (StrippedSize bytes) replaced by
// the 40-byte TE header (pi/Records.h), the section table and everything after
// it kept as they are, so RVA 0 lies 40 - StrippedSize bytes from the TE
// header. Made from an IA-32 PE32 or X64 PE32+ image, read, checked and
// rebased here; the TE header's machine says which relocations it carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/Result.h"
#include "pi/Records.h"

namespace pe {

struct TeImage {
  std::vector<uint8_t> Bytes;
  // Bytes removed from the front of the PE file (the TE header's StrippedSize).
  uint16_t StrippedSize = 0;
};

// Converts an IA-32 PE32 or X64 PE32+ image whose section and file alignments
// are equal (so the file is laid out as in memory); an error for one TE cannot
// express (another machine, more than 255 sections, headers beyond 64 KiB).
sio::Result<TeImage> ConvertToTe(std::span<const uint8_t> Image);

struct TeInfo {
  uint64_t ImageBase = 0; // where RVA 0 is linked to be
  uint16_t Machine = 0;   // kMachineI386 or kMachineX64
  uint16_t StrippedSize = 0;
  uint16_t Subsystem = 0;
  uint32_t EntryRva = 0;
  size_t Relocations = 0; // HIGHLOW or DIR64 sites (padding entries not counted)
  bool HasRelocationDirectory = false;
};

// True when Bytes start with the TE signature ("VZ").
bool LooksLikeTe(std::span<const uint8_t> Bytes);

// Reads an IA-32 or X64 TE image: header, section table and section data
// inside the bytes, every relocation a site of its machine's type (HIGHLOW or
// DIR64) inside one section's data.
sio::Result<TeInfo> ReadTe(std::span<const uint8_t> Image);

// ReadTe and the rules of a PEI module image: an EFI boot-service driver with
// its entry point in an executable section and a relocation directory.
sio::Result<TeInfo> ValidateTeImage(std::span<const uint8_t> Image);

// Rebases a TE image in place so that RVA 0 is NewBase; every site is checked
// before the first byte changes, and an image that would move but carries no
// relocation directory is refused, left as it was.
sio::Result<size_t> RebaseTe(std::span<uint8_t> Image, uint64_t NewBase);

} // namespace pe
