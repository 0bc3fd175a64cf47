// SPDX-License-Identifier: BSD-2-Clause-Patent
// What the format tests share: the record sizes under short names, a
// little-endian read at an offset (the tests check the layout independently
// of the records), and a section's body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "pi/FfsFile.h"
#include "pi/Records.h"

namespace pitest {

inline constexpr size_t kFileHeaderSize = sizeof(pi::FfsFileHeader);
inline constexpr size_t kSectionHeaderSize = sizeof(pi::SectionHeader);

template <typename T> T GetLe(std::span<const uint8_t> Bytes, size_t Offset) {
  uint64_t Value = 0;
  for (size_t I = 0; I < sizeof(T); ++I)
    Value |= uint64_t{Bytes[Offset + I]} << (8 * I);
  return static_cast<T>(Value);
}

inline std::vector<uint8_t> Body(std::span<const uint8_t> File, const pi::SectionView& S) {
  const auto B = File.subspan(S.DataOffset(), S.DataSize());
  return {B.begin(), B.end()};
}

} // namespace pitest
