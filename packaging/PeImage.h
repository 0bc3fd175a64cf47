// What packaging needs to know about a PE32 image, read with LLVM's object library.
#pragma once

#include <cstdint>
#include <span>

namespace packaging {

struct PeDataDirectory {
  uint32_t VirtualAddress = 0;
  uint32_t Size = 0;
};

struct PeImageInfo {
  uint16_t Machine = 0;
  uint16_t NumberOfSections = 0;
  uint16_t Subsystem = 0;
  uint32_t SectionAlignment = 0;
  uint32_t FileAlignment = 0;
  uint32_t AddressOfEntryPoint = 0;
  uint32_t BaseOfCode = 0;
  uint32_t ImageBase = 0;
  // File offset of the section table: everything before it is headers.
  uint32_t SectionTableOffset = 0;
  PeDataDirectory BaseRelocation;
  PeDataDirectory Debug;
};

// Reads the headers of a PE32 (not PE32+) image. Throws std::runtime_error
// naming the fault for anything else.
PeImageInfo ReadPeImage(std::span<const uint8_t> Image);

} // namespace packaging
