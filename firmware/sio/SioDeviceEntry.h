// SPDX-License-Identifier: BSD-2-Clause-Patent
// One device of the chip, as the built-in table and the setup variable lay it
// out: 12 packed bytes, multi-byte fields little-endian.
#pragma once

// The record's layout and kinds are the package's (SioF81216aPkg), where
// platform code takes them from too.
#include "platform/PiPei.h"

// After PiPei.h: the package header uses the EFI types it declares.
#include "Guid/SioF81216aSetupVariable.h"

inline constexpr UINT8 SioKindConfig =
    SIO_F81216A_ENTRY_KIND_CONFIG;                              // names the configuration port
inline constexpr UINT8 SioKindLd8 = SIO_F81216A_ENTRY_KIND_LD8; // configured from setup via LD8
// A logical device the register script programs: the built-in table lists
// logical devices 0 and 1 so that it describes what the pass sets up, and
// neither discovery nor the settings stage acts on such an entry.
inline constexpr UINT8 SioKindScriptDevice = 0x01;

using SioDeviceEntry = SIO_F81216A_DEVICE_ENTRY;

static_assert(sizeof(SioDeviceEntry) == 12);
static_assert(__builtin_offsetof(SioDeviceEntry, Kind) == 3);
static_assert(__builtin_offsetof(SioDeviceEntry, IoBase) == 6);
static_assert(__builtin_offsetof(SioDeviceEntry, Param) == 8);

// Tells whether an entry ends a list: a list of entries ends at the first
// entry whose two chip ID bytes are 0.
//
// @param[in] Entry  the entry looked at.
//
// @retval true   both chip ID bytes are 0.
// @retval false  the entry is one of the list's.
inline constexpr bool SioIsTerminator(const SioDeviceEntry& Entry) {
  return Entry.ChipIdHigh == 0 && Entry.ChipIdLow == 0;
}
