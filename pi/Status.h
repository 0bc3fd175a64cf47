// SPDX-License-Identifier: BSD-2-Clause-Patent
// PI status values as the IA-32 module sees them (32-bit, error bit 31), and
// their names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pi {

inline constexpr uint32_t kEfiSuccess = 0;
inline constexpr uint32_t kEfiInvalidParameter = 0x80000002;
inline constexpr uint32_t kEfiUnsupported = 0x80000003;
inline constexpr uint32_t kEfiBufferTooSmall = 0x80000005;
inline constexpr uint32_t kEfiDeviceError = 0x80000007;
inline constexpr uint32_t kEfiOutOfResources = 0x80000009;
inline constexpr uint32_t kEfiNotFound = 0x8000000E;
inline constexpr uint32_t kEfiAccessDenied = 0x8000000F;
inline constexpr uint32_t kEfiAborted = 0x80000015;

inline constexpr bool IsError(uint32_t Status) {
  return (Status & 0x80000000u) != 0;
}

// The same status as a 64-bit EFI_STATUS (X64, and the host build on
// x86-64): the error bit moves from bit 31 to bit 63. Back again, a 64-bit
// status keeps its error bit and its low 31 bits.
inline constexpr uint64_t kEfiErrorBit64 = 0x8000000000000000ull;
inline constexpr uint64_t WidenStatus(uint32_t Status) {
  return IsError(Status) ? (kEfiErrorBit64 | (Status & 0x7FFFFFFFu)) : Status;
}
inline constexpr uint32_t NarrowStatus(uint64_t Status) {
  return (Status & kEfiErrorBit64) ? (0x80000000u | static_cast<uint32_t>(Status & 0x7FFFFFFFu))
                                   : static_cast<uint32_t>(Status);
}

// "EFI_NOT_FOUND", or "0x8000001F" for a value without a name.
std::string StatusName(uint32_t Status);
// Accepts a name ("EFI_NOT_FOUND") or a number ("0x8000000E").
std::optional<uint32_t> ParseStatus(std::string_view Text);

} // namespace pi
