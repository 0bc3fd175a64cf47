// Reads the structure of a PI firmware volume, of the FFS files in it and of
// the sections in a file, checking sizes and checksums on the way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ovmf/PiLayout.h"

namespace ovmf {

struct FfsFileView {
  size_t Offset = 0; // of the header, in the volume (or the buffer given)
  size_t Size = 0;   // header included, trailing padding excluded
  size_t HeaderSize = 0;
  uint8_t Type = 0;
  uint8_t Attributes = 0;
  uint8_t State = 0; // as stored
  Guid Name{};
  size_t DataOffset() const { return Offset + HeaderSize; }
};

struct SectionView {
  size_t Offset = 0; // of the header, in the span given
  size_t Size = 0;   // header included
  size_t HeaderSize = 0;
  uint8_t Type = 0;
  size_t DataOffset() const { return Offset + HeaderSize; }
  size_t DataSize() const { return Size - HeaderSize; }
};

struct VolumeView {
  size_t Length = 0;
  size_t HeaderLength = 0;
  uint32_t Attributes = 0;
  bool ErasePolarity = false;
  std::vector<FfsFileView> Files;
  size_t FreeOffset = 0; // first byte after the last file, 8-aligned; Length when full
  uint8_t ErasedByte() const { return ErasePolarity ? 0xFF : 0x00; }
};

// Parses the volume at the start of Bytes. Throws FirmwareError naming What
// when the header, a file header, a size or a checksum is wrong, or when
// anything but erased bytes follows the free space.
VolumeView ParseVolume(std::span<const uint8_t> Bytes, const std::string& What);

// Parses one stand-alone FFS file (as a build writes it: state 0x07) and
// checks its size and checksums.
FfsFileView ParseFfsFile(std::span<const uint8_t> Bytes, const std::string& What);

// Parses the sections filling Bytes (a file's data or a section's data).
std::vector<SectionView> ParseSections(std::span<const uint8_t> Bytes, const std::string& What);

// The alignment the file's attributes ask for its data, in bytes (at least 8).
size_t FfsDataAlignment(uint8_t Attributes);

// A file's State byte as the volume stores a valid file.
uint8_t StoredValidState(bool ErasePolarity);

std::string FormatGuid(const Guid& Name);

} // namespace ovmf
