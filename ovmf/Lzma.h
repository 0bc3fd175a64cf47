// SPDX-License-Identifier: BSD-2-Clause-Patent
// LZMA "alone" streams as the firmware's LZMA GUID-defined sections hold
// them: 5 property bytes, the uncompressed size as 8 bytes little-endian, then
// the stream. The firmware's decompressor sizes its output from that field, so
// the encoder always writes the real size there.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/Result.h"

namespace ovmf {

inline constexpr size_t kLzmaAloneHeaderSize = 13;
inline constexpr uint32_t kLzmaDictionarySize = 1u << 24; // what EDK2's LzmaCompress uses

// The largest decoded size accepted: firmware volumes fit in a 16 MiB flash
// part, so a larger claim is refused before anything is allocated for it.
inline constexpr uint64_t kLzmaMaxDecodedSize = 64u << 20;

// An error when Stream is not a complete, valid stream, when it claims more
// than kLzmaMaxDecodedSize, or when it decodes to a size other than its
// header says.
sio::Result<std::vector<uint8_t>> LzmaAloneDecode(std::span<const uint8_t> Stream);

// lc=3 lp=0 pb=2, a 16 MiB dictionary, the real size in the header.
sio::Result<std::vector<uint8_t>> LzmaAloneEncode(std::span<const uint8_t> Data);

// The size field of a stream's header (all ones: unknown).
sio::Result<uint64_t> LzmaAloneDeclaredSize(std::span<const uint8_t> Stream);

} // namespace ovmf
