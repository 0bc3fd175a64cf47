// SPDX-License-Identifier: BSD-2-Clause-Patent
// Where the bytes of the module image go, as PE32 and in TE form: headers,
// code, read-only data, base relocations and the alignment fill between them. Code and read-only
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
  // The same image in TE form (packaging/TeImage.h): a 40-byte TE header in
  // place of the PE headers, the section table and sections as they are.
  uint64_t TeFileBytes = 0;
  uint32_t TeHeaderBytes = 0; // TE header, section table and the fill after it
  std::string TeError;        // set when the image has no TE form
};

struct FootprintResult {
  std::optional<ImageFootprint> Footprint;
  std::string Error; // set when Footprint is empty
};

// Image: the PE32 file; LinkMap: the map lld-link wrote for it (/map).
FootprintResult MeasureFootprint(std::span<const uint8_t> Image, std::string_view LinkMap);

} // namespace bench
