// SPDX-License-Identifier: BSD-2-Clause-Patent
// The 8-bit and 16-bit sums that firmware files and volumes carry so that a
// reader can tell a damaged header or body from a sound one, and the
// checksum fields of FFS file and volume headers computed from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/Result.h"

namespace pi {

// Sum of the bytes, modulo 256.
uint8_t Sum8(std::span<const uint8_t> Bytes);
// The byte that makes Sum8 of Bytes plus itself zero.
uint8_t Checksum8(std::span<const uint8_t> Bytes);

// Sum of the bytes taken as little-endian 16-bit words, modulo 65536; an odd
// number of bytes is an error.
sio::Result<uint16_t> Sum16(std::span<const uint8_t> Bytes);
// The word that makes Sum16 of Bytes plus itself zero.
sio::Result<uint16_t> Checksum16(std::span<const uint8_t> Bytes);

// HeaderChecksum of an FFS file header (24 or 32 bytes): the header with both
// checksums and State taken as 0, plus the value, sums to 0 modulo 256.
uint8_t FfsHeaderChecksum(std::span<const uint8_t> Header);
// Checksum of a volume header of even length, its Checksum field taken as 0.
uint16_t FvHeaderChecksum(std::span<const uint8_t> Header);

// Writes both checksums of an FFS file (header + data) in place: the data
// checksum when its attributes ask for one, 0xAA otherwise.
void SealFfsFile(std::span<uint8_t> File, size_t HeaderSize);
// Writes the checksum of the volume header at the start of Volume in place.
void SealFvHeader(std::span<uint8_t> Volume);

} // namespace pi
