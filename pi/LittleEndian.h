// SPDX-License-Identifier: BSD-2-Clause-Patent
// Little-endian fields as firmware records store them. A record is a packed
// struct of these, so its fields are read and written by name, with no offset
// arithmetic and no alignment requirement on the buffer it overlays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

namespace pi {

template <typename T, size_t Bytes = sizeof(T)> struct LeField {
  static_assert(std::is_unsigned_v<T> && Bytes <= sizeof(T));
  uint8_t Raw[Bytes];

  constexpr T Get() const {
    T Value = 0;
    for (size_t I = 0; I < Bytes; ++I)
      Value = static_cast<T>(Value | (T{Raw[I]} << (8 * I)));
    return Value;
  }
  constexpr void Set(T Value) {
    for (size_t I = 0; I < Bytes; ++I)
      Raw[I] = static_cast<uint8_t>(Value >> (8 * I));
  }
  constexpr operator T() const { return Get(); }
  constexpr LeField& operator=(T Value) {
    Set(Value);
    return *this;
  }
};

using Le16 = LeField<uint16_t>;
using Le24 = LeField<uint32_t, 3>; // FFS file and section sizes
using Le32 = LeField<uint32_t>;
using Le64 = LeField<uint64_t>;
static_assert(sizeof(Le16) == 2 && sizeof(Le24) == 3 && sizeof(Le32) == 4 && sizeof(Le64) == 8);

// A record of type R read from Bytes at Offset, or nothing when it does not
// fit. R is one of the packed record structs (alignment 1).
template <typename R> bool ReadRecord(std::span<const uint8_t> Bytes, size_t Offset, R& Out) {
  static_assert(std::is_trivially_copyable_v<R> && alignof(R) == 1);
  if (Offset > Bytes.size() || Bytes.size() - Offset < sizeof(R))
    return false;
  std::memcpy(&Out, Bytes.data() + Offset, sizeof(R));
  return true;
}

// Writes Record into Bytes at Offset; the caller has checked that it fits.
template <typename R> void WriteRecord(std::span<uint8_t> Bytes, size_t Offset, const R& Record) {
  static_assert(std::is_trivially_copyable_v<R> && alignof(R) == 1);
  std::memcpy(Bytes.data() + Offset, &Record, sizeof(R));
}

constexpr size_t AlignUp(size_t Value, size_t Alignment) {
  return (Value + Alignment - 1) / Alignment * Alignment;
}

} // namespace pi
