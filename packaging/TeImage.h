// The terse executable (TE) form of a PE32 image: the DOS header, stub, PE
// signature, file header and optional header replaced by a 40-byte TE header,
// the section table and everything after it kept as they are.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace packaging {

inline constexpr uint32_t kTeHeaderSize = 40;

struct TeImage {
  std::vector<uint8_t> Bytes;
  // Bytes removed from the front of the PE file (the TE header's StrippedSize).
  uint16_t StrippedSize = 0;
};

// Converts a PE32 image whose section and file alignments are equal (so the
// file is laid out as in memory). Throws std::runtime_error for an image TE
// cannot express (not PE32, more than 255 sections, headers beyond 64 KiB).
TeImage ConvertToTe(std::span<const uint8_t> Image);

} // namespace packaging
