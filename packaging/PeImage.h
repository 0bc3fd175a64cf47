// What packaging needs to know about a PE32 image, read with LLVM's object library.
#pragma once

#include <cstdint>
#include <span>

namespace packaging {

struct PeImageInfo {
  uint16_t Machine = 0;
  uint32_t SectionAlignment = 0;
  uint32_t FileAlignment = 0;
};

// Reads the headers of a PE32 (not PE32+) image. Throws std::runtime_error
// naming the fault for anything else.
PeImageInfo ReadPeImage(std::span<const uint8_t> Image);

} // namespace packaging
