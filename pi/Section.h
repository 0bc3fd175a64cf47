// SPDX-License-Identifier: BSD-2-Clause-Patent
// Sections: the typed parts of an FFS file's data (and of a section's data,
// for encapsulating sections), each a 4- or 8-byte header and a body, every
// section starting 4-aligned. One walker reads them, one writer appends them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/Result.h"

namespace pi {

struct SectionView {
  size_t Offset = 0; // of the header, in the span given
  size_t Size = 0;   // header included
  size_t HeaderSize = 0;
  uint8_t Type = 0;
  size_t DataOffset() const { return Offset + HeaderSize; }
  size_t DataSize() const { return Size - HeaderSize; }
};

// The sections filling Bytes; an error names the section (by offset) that is
// cut short or whose size does not fit.
sio::Result<std::vector<SectionView>> ParseSections(std::span<const uint8_t> Bytes);

// Appends a section of Type whose body is Body at the end of Data (which the
// caller has brought to a 4-byte boundary); the 4-byte header form.
sio::Result<void> AppendSection(std::vector<uint8_t>& Data, uint8_t Type,
                                std::span<const uint8_t> Body);

// Body of a user-interface section: the name in UTF-16LE with a NUL.
std::vector<uint8_t> UserInterfaceBody(std::u16string_view Name);

} // namespace pi
