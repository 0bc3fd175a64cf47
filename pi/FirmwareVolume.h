// SPDX-License-Identifier: BSD-2-Clause-Patent
// PI firmware volumes (FFS2/FFS3 file systems): one reader that walks a
// volume's files checking sizes and checksums, and one writer that builds a
// volume around finished files, with pad files where their data alignment
// asks for one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/Result.h"
#include "pi/FfsFile.h"

namespace pi {

struct VolumeView {
  size_t Length = 0;
  size_t HeaderLength = 0;
  uint32_t Attributes = 0;
  bool ErasePolarity = false;
  std::vector<FfsFileView> Files;
  size_t FreeOffset = 0; // first byte after the last file, 8-aligned; Length when full
  uint8_t ErasedByte() const { return ErasePolarity ? 0xFF : 0x00; }
};

// Parses the volume at the start of Bytes: header, checksum, every file up to
// the free space, and nothing but erased bytes after it.
sio::Result<VolumeView> ParseVolume(std::span<const uint8_t> Bytes);

// The largest volume built: the largest flash a platform maps below 4 GiB.
inline constexpr size_t kMaxBuiltVolumeSize = 16 << 20;

struct VolumeOptions {
  uint32_t BlockSize = 0x1000;
  // Names each file in messages, in the order given ("file 1", ... when empty).
  std::vector<std::string> FileNames;
  // Erased flash reads 0xFF; file states are stored as their complement.
  bool ErasePolarity = true;
};

struct BuiltVolume {
  std::vector<uint8_t> Bytes;
  // Offset within Bytes of each given file's header, in the order given.
  std::vector<size_t> FileOffsets;
};

// A power of two from 8 up to kMaxBuiltVolumeSize.
sio::Result<void> CheckBlockSize(uint32_t BlockSize);

// Places each stand-alone file (as ReadFfsFile accepts it) on an 8-byte
// boundary, with a pad file in front where its data alignment asks for one,
// fills the rest with the erase value up to a whole number of blocks, and
// writes the header (length, attributes with the largest alignment, block
// map, checksum). An error for a file ReadFfsFile refuses, a file of a type
// that holds sections whose sections do not fill it soundly, a second file of
// one name, a block size CheckBlockSize refuses, or a volume (pad files and
// the last block's fill included) larger than kMaxBuiltVolumeSize; the limit
// is checked before each piece is added.
sio::Result<BuiltVolume> BuildFirmwareVolume(const std::vector<std::vector<uint8_t>>& Files,
                                             const VolumeOptions& Options = {});

} // namespace pi
