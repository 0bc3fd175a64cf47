// LZMA "alone" streams as the firmware's LZMA GUID-defined sections hold
// them: 5 property bytes, the uncompressed size as 8 bytes little-endian, then
// the stream. The firmware's decompressor sizes its output from that field, so
// the encoder always writes the real size there.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ovmf {

inline constexpr size_t kLzmaAloneHeaderSize = 13;
inline constexpr uint32_t kLzmaDictionarySize = 1u << 24; // what EDK2's LzmaCompress uses

// Throws FirmwareError when Stream is not a complete, valid stream, or when it
// decodes to a size other than its header says.
std::vector<uint8_t> LzmaAloneDecode(std::span<const uint8_t> Stream);

// lc=3 lp=0 pb=2, a 16 MiB dictionary, the real size in the header.
std::vector<uint8_t> LzmaAloneEncode(std::span<const uint8_t> Data);

// The size field of a stream's header (all ones: unknown).
uint64_t LzmaAloneDeclaredSize(std::span<const uint8_t> Stream);

} // namespace ovmf
