// SPDX-License-Identifier: BSD-2-Clause-Patent
// PI firmware files (FFS): a header naming the file by GUID, then its
// sections. One reader for a file's header wherever it lies (in a volume or
// stand-alone), one writer that lays out sections into a finished file, and
// the pad file that fills a gap in a volume.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/Result.h"
#include "pi/Guid.h"
#include "pi/Records.h"
#include "pi/Section.h"

namespace pi {

struct FfsFileView {
  size_t Offset = 0; // of the header, in the buffer given
  size_t Size = 0;   // header included, trailing padding excluded
  size_t HeaderSize = 0;
  uint8_t Type = 0;
  uint8_t Attributes = 0;
  uint8_t State = 0; // as stored
  Guid Name{};
  size_t DataOffset() const { return Offset + HeaderSize; }
  size_t DataSize() const { return Size - HeaderSize; }
};

// The smallest data alignment a file header can declare that is at least
// Alignment (a power of two up to 16 MiB), and the attribute bits declaring it.
struct DataAlignment {
  uint32_t Bytes;
  uint8_t Attributes;
};
sio::Result<DataAlignment> EncodeDataAlignment(uint32_t Alignment);
// The data alignment the attribute bits declare (8 for code 0: files are 8-aligned).
uint32_t DecodeDataAlignment(uint8_t Attributes);

// The file whose header lies at Offset of Bytes, with no more than Limit
// bytes from there: header (24 or 32 bytes) and size checked against the
// room, both checksums verified. State is not judged.
sio::Result<FfsFileView> ReadFileAt(std::span<const uint8_t> Bytes, size_t Offset, size_t Limit);

// A stand-alone file as a build writes it: one file filling Bytes (up to 7
// bytes of padding after it), the 24-byte header, sound checksums, and the
// finished state in positive logic (0x07).
sio::Result<FfsFileView> ReadFfsFile(std::span<const uint8_t> Bytes);

// The sections of a stand-alone file, offsets counted from the file's start.
sio::Result<std::vector<SectionView>> ListSections(std::span<const uint8_t> File);

// A file's State byte as a volume of this polarity stores a finished file.
uint8_t StoredState(uint8_t State, bool ErasePolarity);

struct SectionRecipe {
  uint8_t Type = section_type::kRaw;
  std::vector<uint8_t> Body;
  // The body starts at a multiple of this, counted from the start of the file
  // data, plus BodyPhase; a RAW pad section is put in front when needed.
  // BodyAlignment is a power of two >= 4, BodyPhase a multiple of 4 below it.
  // (A TE image needs a phase: its aligned point lies before its first byte.)
  uint32_t BodyAlignment = 4;
  uint32_t BodyPhase = 0;
};

struct FileRecipe {
  Guid Name{};
  uint8_t Type = file_type::kPeim;
  std::vector<SectionRecipe> Sections;
  // True: a real 8-bit data checksum under FFS_ATTRIB_CHECKSUM; false: 0xAA.
  bool DataChecksum = true;
};

struct BuiltFile {
  std::vector<uint8_t> Bytes;
  // Offset within Bytes of each recipe section's body, in recipe order.
  std::vector<size_t> BodyOffsets;
};
// Lays out the sections and sets size, attributes (the data alignment the
// bodies need), checksums and the finished state (positive logic). An error
// for a file that cannot be expressed (too large, alignment not reachable).
sio::Result<BuiltFile> BuildFfsFile(const FileRecipe& Recipe);

// Writes a pad file filling At (at least a header's worth) in place: no
// name, no checksum, data at the erase value, state as the volume stores it.
void WritePadFile(std::span<uint8_t> At, bool ErasePolarity);

} // namespace pi
