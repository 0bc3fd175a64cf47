// The 8-bit and 16-bit sums that firmware files and firmware volumes carry so
// that a reader can tell a damaged header or body from a sound one.
#pragma once

#include <cstdint>
#include <span>

namespace packaging {

// Sum of the bytes, modulo 256.
uint8_t Sum8(std::span<const uint8_t> Bytes);
// The byte that makes Sum8 of Bytes plus itself zero.
uint8_t Checksum8(std::span<const uint8_t> Bytes);

// Sum of the bytes taken as little-endian 16-bit words, modulo 65536.
// Bytes must have an even length (std::invalid_argument otherwise).
uint16_t Sum16(std::span<const uint8_t> Bytes);
// The word that makes Sum16 of Bytes plus itself zero.
uint16_t Checksum16(std::span<const uint8_t> Bytes);

} // namespace packaging
