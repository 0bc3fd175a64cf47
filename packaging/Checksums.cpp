#include "packaging/Checksums.h"

#include <stdexcept>

namespace packaging {

uint8_t Sum8(std::span<const uint8_t> Bytes) {
  uint8_t Sum = 0;
  for (uint8_t B : Bytes)
    Sum = static_cast<uint8_t>(Sum + B);
  return Sum;
}

uint8_t Checksum8(std::span<const uint8_t> Bytes) {
  return static_cast<uint8_t>(0x100 - Sum8(Bytes));
}

uint16_t Sum16(std::span<const uint8_t> Bytes) {
  if (Bytes.size() % 2 != 0)
    throw std::invalid_argument("16-bit sum over an odd number of bytes");
  uint16_t Sum = 0;
  for (size_t I = 0; I < Bytes.size(); I += 2) {
    Sum = static_cast<uint16_t>(Sum + (Bytes[I] | Bytes[I + 1] << 8));
  }
  return Sum;
}

uint16_t Checksum16(std::span<const uint8_t> Bytes) {
  return static_cast<uint16_t>(0x10000 - Sum16(Bytes));
}

} // namespace packaging
