// The setup variable "SioF81216aSetup00": five SioDeviceEntry records and
// seven trailing bytes that belong to the variable's writer.
#pragma once

#include "platform/PiPei.h"
#include "sio/SioDeviceEntry.h"

inline constexpr CHAR16 SioSetupVariableName[] = u"SioF81216aSetup00";

// {CD2E75EC-4162-411D-B7F1-E1D882E697AB}
inline constexpr EFI_GUID SioSetupVendorGuid = {
    0xCD2E75EC, 0x4162, 0x411D, {0xB7, 0xF1, 0xE1, 0xD8, 0x82, 0xE6, 0x97, 0xAB}};

inline constexpr UINTN SioSetupEntryCount = 5;
inline constexpr UINTN SioSetupDataSize = 67;

// Offsets of the entry bytes the settings stage reads.
inline constexpr UINTN SioSetupKindOffset = __builtin_offsetof(SioDeviceEntry, Kind);
inline constexpr UINTN SioSetupQualifierOffset = __builtin_offsetof(SioDeviceEntry, Qualifier);
inline constexpr UINTN SioSetupEnabledOffset = __builtin_offsetof(SioDeviceEntry, Enabled);
inline constexpr UINTN SioSetupParam0Offset = __builtin_offsetof(SioDeviceEntry, Param) + 0;
inline constexpr UINTN SioSetupParam2Offset = __builtin_offsetof(SioDeviceEntry, Param) + 2;
// An entry is usable only when the variable reaches past its last read byte.
inline constexpr UINTN SioSetupEntryReach = SioSetupParam2Offset + 1;

static_assert(SioSetupEntryCount * sizeof(SioDeviceEntry) + 7 == SioSetupDataSize);
static_assert(sizeof(SioSetupVariableName) == 18 * sizeof(CHAR16));
