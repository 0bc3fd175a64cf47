// Where the bytes of the module image go: headers, code, read-only data,
// base relocations and the alignment fill between them. Code and read-only
// data share .text in the file; the link map tells them apart.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace bench {

struct ImageFootprint {
  uint64_t FileBytes = 0;
  uint32_t HeaderBytes = 0;       // DOS, PE and section headers (SizeOfHeaders)
  uint32_t CodeBytes = 0;         // instructions: the link's .text contributions
  uint32_t ReadOnlyDataBytes = 0; // tables, GUIDs, strings: its .rdata contributions
  uint32_t RelocationBytes = 0;   // the .reloc section
  uint32_t WritableDataBytes = 0; // .data and .bss contributions; 0 in a sound image
  uint32_t PaddingBytes = 0;      // fill between the parts
};

struct FootprintResult {
  std::optional<ImageFootprint> Footprint;
  std::string Error; // set when Footprint is empty
};

// Image: the PE32 file; LinkMap: the map lld-link wrote for it (/map).
FootprintResult MeasureFootprint(std::span<const uint8_t> Image, std::string_view LinkMap);

} // namespace bench
