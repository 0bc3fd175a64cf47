// SPDX-License-Identifier: BSD-2-Clause-Patent
// The setup variable "SioF81216aSetup00": five SioDeviceEntry records and
// seven trailing bytes that belong to the variable's writer.
#pragma once

#include "platform/PiPei.h"
#include "sio/SioDeviceEntry.h"

// Name, GUID and layout come from the package's header
// (Guid/SioF81216aSetupVariable.h, included by sio/SioDeviceEntry.h).
#define SIO_UTF16_(Text) u##Text
#define SIO_UTF16(Text) SIO_UTF16_(Text)
inline constexpr CHAR16 SioSetupVariableName[] = SIO_UTF16(SIO_F81216A_SETUP_VARIABLE_NAME_TEXT);
inline constexpr EFI_GUID SioSetupVendorGuid = SIO_F81216A_SETUP_VARIABLE_GUID;

inline constexpr UINTN SioSetupEntryCount = SIO_F81216A_SETUP_ENTRY_COUNT;
inline constexpr UINTN SioSetupDataSize = sizeof(SIO_F81216A_SETUP_VARIABLE);

// Offsets of the entry bytes the settings stage reads.
inline constexpr UINTN SioSetupKindOffset = __builtin_offsetof(SioDeviceEntry, Kind);
inline constexpr UINTN SioSetupQualifierOffset = __builtin_offsetof(SioDeviceEntry, Qualifier);
inline constexpr UINTN SioSetupEnabledOffset = __builtin_offsetof(SioDeviceEntry, Enabled);
inline constexpr UINTN SioSetupParam0Offset = __builtin_offsetof(SioDeviceEntry, Param) + 0;
inline constexpr UINTN SioSetupParam2Offset = __builtin_offsetof(SioDeviceEntry, Param) + 2;
// An entry is usable only when the variable reaches past its last read byte.
inline constexpr UINTN SioSetupEntryReach = SioSetupParam2Offset + 1;

static_assert(SioSetupDataSize == SIO_F81216A_SETUP_VARIABLE_SIZE);
static_assert(SioSetupEntryCount * sizeof(SioDeviceEntry) + SIO_F81216A_SETUP_WRITER_BYTES ==
              SioSetupDataSize);
static_assert(sizeof(SioSetupVariableName) == 18 * sizeof(CHAR16));
