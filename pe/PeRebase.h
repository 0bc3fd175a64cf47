// Moves a PE32 (IA-32) image to a new base the way a loader or GenFv does:
// every HIGHLOW base relocation gets the distance added and the header's
// ImageBase is set. Works on the file layout of the image, as it lies in a
// firmware file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

namespace pe {

class PeError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct Pe32Info {
  uint32_t ImageBase = 0;
  uint32_t SectionAlignment = 0;
  uint32_t FileAlignment = 0;
  uint32_t EntryPoint = 0; // RVA
  size_t Relocations = 0;  // HIGHLOW entries (padding entries not counted)
};

// Reads an IA-32 PE32 image; throws PeError for anything else or for a
// relocation that does not lie inside the image's section data.
Pe32Info ReadPe32(std::span<const uint8_t> Image);

// Rebases Image in place to NewBase; returns the number of relocations applied.
// Every relocation is checked before the first byte changes, so a bad image is
// left as it was.
size_t RebasePe32(std::span<uint8_t> Image, uint32_t NewBase);

// The terse (TE) form: a 40-byte header in place of the PE headers, whose
// StrippedSize bytes were removed, so RVA 0 lies 40 - StrippedSize bytes from
// the TE header.
inline constexpr size_t kTeHeaderSize = 40;

struct TeInfo {
  uint32_t ImageBase = 0; // where RVA 0 is linked to be
  uint16_t StrippedSize = 0;
  size_t Relocations = 0;
};

// Reads an IA-32 TE image; throws PeError for anything else or for a
// relocation outside its section data.
TeInfo ReadTe(std::span<const uint8_t> Image);

// Rebases a TE image in place so that RVA 0 is NewBase; checked first, like
// RebasePe32.
size_t RebaseTe(std::span<uint8_t> Image, uint32_t NewBase);

} // namespace pe
