// Loads a PE32 image for IA-32 as the PEI Foundation would: headers and
// sections at their RVAs, and the base relocations applied when the image is
// placed anywhere but its link address.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace emulator {

struct LoadedImage {
  uint32_t Base = 0;           // where Memory starts
  uint32_t Entry = 0;          // address of the entry point
  std::vector<uint8_t> Memory; // SizeOfImage rounded up to whole pages
};

struct LoadResult {
  std::optional<LoadedImage> Image;
  std::string Error; // one line, set when Image is empty
};

// Address: where to place the image (page aligned); nullopt for its link address.
LoadResult LoadPeImage(std::span<const uint8_t> File, std::optional<uint32_t> Address);

} // namespace emulator
