// The integrity checks of PI firmware structures as they lie in a volume:
// FFS header and data checksums (8-bit) and the firmware volume header
// checksum (16-bit words), on the sums of packaging/Checksums.
#pragma once

#include <cstdint>
#include <span>

namespace ovmf {

// The Checksum.Header value for an FFS header (24 or 32 bytes): the header
// bytes with Checksum.Header, Checksum.File and State taken as 0 sum to it
// plus the value, 0 modulo 256.
uint8_t FfsHeaderChecksum(std::span<const uint8_t> Header);
// The Checksum.File value for FFS file data (header excluded) when
// FFS_ATTRIB_CHECKSUM is set.
uint8_t FfsDataChecksum(std::span<const uint8_t> Data);
// The Checksum value for a firmware volume header of HeaderLength bytes: the
// 16-bit little-endian words of the header, Checksum taken as 0, plus the
// value sum to 0.
uint16_t FvHeaderChecksum(std::span<const uint8_t> Header);

// Writes both checksums of the FFS file (header + data) in place: the data
// checksum when its attributes ask for one, 0xAA otherwise.
void SealFfsFile(std::span<uint8_t> File, size_t HeaderSize);
// Writes the volume header's checksum in place.
void SealFvHeader(std::span<uint8_t> Volume);

} // namespace ovmf
