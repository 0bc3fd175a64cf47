// Little-endian fields in byte buffers, as every firmware structure stores them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace packaging {

template <typename T> void PutLe(std::vector<uint8_t>& Bytes, size_t Offset, T Value) {
  for (size_t I = 0; I < sizeof(T); ++I) {
    Bytes[Offset + I] = static_cast<uint8_t>(static_cast<uint64_t>(Value) >> (8 * I));
  }
}

template <typename T> T GetLe(std::span<const uint8_t> Bytes, size_t Offset) {
  uint64_t Value = 0;
  for (size_t I = 0; I < sizeof(T); ++I)
    Value |= uint64_t{Bytes[Offset + I]} << (8 * I);
  return static_cast<T>(Value);
}

} // namespace packaging
