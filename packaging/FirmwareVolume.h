// A minimal PI firmware volume (FFS2 file system) holding firmware files, so
// a file can be checked on its own and merged by an integrator's tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "board/Guid.h"

namespace packaging {

inline constexpr size_t kVolumeHeaderSize = 0x48;        // fixed fields, one block run, terminator
inline constexpr uint32_t kVolumeSignature = 0x4856465F; // "_FVH"
inline constexpr uint32_t kFvbErasePolarity = 0x800;
extern const pi::Guid kFfs2FileSystemGuid; // 8C8CE578-8A3D-4F1C-9935-896185C32DD3

struct VolumeOptions {
  uint32_t BlockSize = 0x1000;
  // Erased flash reads 0xFF; file states are stored as their complement.
  bool ErasePolarity = true;
};

struct BuiltVolume {
  std::vector<uint8_t> Bytes;
  // Offset within Bytes of each given file's header, in the order given.
  std::vector<size_t> FileOffsets;
};

// Places each file (as BuildFfsFile leaves it) on an 8-byte boundary, with a
// pad file in front where its data alignment asks for one, fills the rest
// with the erase value up to a whole number of blocks, and writes the header
// (length, attributes with the largest alignment, block map, checksum).
// Throws std::runtime_error for a file that ReadFfsFile rejects or a second
// file with the same name, and
// std::invalid_argument for a block size that is not a power of two >= 8.
BuiltVolume BuildFirmwareVolume(const std::vector<std::vector<uint8_t>>& Files,
                                const VolumeOptions& Options = {});

} // namespace packaging
