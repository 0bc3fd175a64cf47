// SPDX-License-Identifier: BSD-2-Clause-Patent
// The setup variable "SioF81216aSetup00" as the settings stage reads it: five
// 12-byte device entries and seven trailing bytes. The module keeps its own
// copy (firmware/setup/SioSetupData.h), held equal to this one by
// tests/firmware/ChipFactsTest.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace chip {

inline constexpr std::u16string_view kSetupVariableName = u"SioF81216aSetup00";
inline constexpr size_t kSetupEntryCount = 5;
inline constexpr size_t kSetupEntrySize = 12;
inline constexpr size_t kSetupDataSize = 67; // the module's buffer, too
// The bytes after the entries, which belong to the variable's writer.
inline constexpr size_t kSetupTrailerSize = kSetupDataSize - kSetupEntryCount * kSetupEntrySize;

// Offsets inside an entry of the bytes the settings stage reads.
inline constexpr size_t kEntryKind = 3;
inline constexpr size_t kEntryQualifier = 4;
inline constexpr size_t kEntryEnabled = 5;
inline constexpr size_t kEntryParam0 = 8;
inline constexpr size_t kEntryParam2 = 10;
// An entry is used only when the variable reaches past its last read byte.
inline constexpr size_t kEntryReach = kEntryParam2 + 1;

// The kind of an entry that configures logical device 8; it applies when its
// qualifier is 0 and it is enabled (1).
inline constexpr uint8_t kKindLd8 = 0x12;

static_assert(kSetupTrailerSize == 7);

} // namespace chip
