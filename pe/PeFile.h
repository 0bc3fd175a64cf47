// SPDX-License-Identifier: BSD-2-Clause-Patent
// The headers of a PE32 or PE32+ image and its memory layout, read with LLVM's COFF
// reader: what the image check inspects, what the rebaser moves and what the
// emulator's loader maps. Every offset and size the file states is checked
// against the file and against the limits of a PEI module (pe/PeRecords.h)
// before any byte behind it is used or anything is allocated from it, so a
// truncated or crafted file gives an error, never a read outside the buffer
// or an allocation bomb.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/Result.h"
#include "pe/PeRecords.h"

namespace pe {

struct SectionHeader {
  std::string Name;
  uint32_t VirtualAddress = 0;
  uint32_t VirtualSize = 0;
  uint32_t RawOffset = 0;
  uint32_t RawSize = 0;
  uint32_t Characteristics = 0;

  // Bytes the section occupies once loaded (its raw data when VirtualSize is 0).
  uint32_t LoadedSize() const { return VirtualSize ? VirtualSize : RawSize; }
  bool Executable() const { return (Characteristics & kSectionExecute) != 0; }
  bool Writable() const { return (Characteristics & kSectionWrite) != 0; }
  // "r-x" style flags.
  std::string Flags() const;
};

struct BaseRelocation {
  uint32_t Rva = 0;
  uint8_t Type = 0;
};

// Bytes a base relocation of Type patches (4 for HIGHLOW, 8 for DIR64); 0 for
// a type no module image carries.
constexpr uint32_t RelocationSiteBytes(uint8_t Type) {
  for (const MachineInfo& M : kMachines) {
    if (M.RelocationType == Type)
      return M.SiteBytes;
  }
  return 0;
}

struct PeFile {
  uint64_t FileSize = 0;
  uint16_t Machine = 0;
  uint16_t Magic = 0;
  uint16_t Subsystem = 0;
  uint32_t EntryRva = 0;
  uint64_t ImageBase = 0;
  uint32_t SizeOfImage = 0;
  uint32_t SizeOfHeaders = 0;
  uint32_t RelocationRva = 0; // data directory 5; 0 and 0 when absent
  uint32_t RelocationSize = 0;
  uint32_t DebugRva = 0; // data directory 6; 0 and 0 when absent
  uint32_t DebugSize = 0;
  uint32_t SectionAlignment = 0;
  uint32_t FileAlignment = 0;
  uint32_t BaseOfCode = 0;
  // File offset of the section table: the DOS header and stub, "PE\0\0", the
  // file header and the optional header all lie before it.
  uint32_t SectionTableOffset = 0;
  // File offset of the optional header's ImageBase field.
  uint32_t ImageBaseOffset = 0;
  std::vector<SectionHeader> Sections;

  // The section whose loaded range holds Rva, if any.
  const SectionHeader* SectionAt(uint32_t Rva) const;
  // The processor mode of the image: its machine, when the optional header
  // has that machine's form (PE32 for IA-32, PE32+ for X64); else nullptr.
  const MachineInfo* Mode() const {
    const MachineInfo* M = FindMachine(Machine);
    return M != nullptr && M->Magic == Magic ? M : nullptr;
  }
  bool HasRelocations() const { return RelocationRva != 0 && RelocationSize != 0; }
};

// Reads the headers of a PE32 or PE32+ file (the caller judges which it wants).
sio::Result<PeFile> ReadPeFile(std::span<const uint8_t> Bytes);

// The image as the loader lays it out at its link address: SizeOfImage bytes,
// headers at 0 and each section's raw data at its RVA, the rest zero.
sio::Result<std::vector<uint8_t>> LayOutImage(const PeFile& File, std::span<const uint8_t> Bytes);

// The base relocations of a laid-out image, absolute (padding) entries left
// out; an error for a block that runs past the directory or the image.
sio::Result<std::vector<BaseRelocation>> ReadBaseRelocations(const PeFile& File,
                                                             std::span<const uint8_t> Image);

// The one walk over base relocation blocks, for PE32, PE32+ and TE alike: Directory
// holds the blocks back to back; every block is at least its header, of even
// size and inside the directory.
sio::Result<std::vector<BaseRelocation>> ReadRelocationBlocks(std::span<const uint8_t> Directory);

} // namespace pe
