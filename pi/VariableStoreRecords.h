// The records of a firmware variable store and of the firmware volume that
// holds one in flash: packed little-endian structs whose sizes and offsets
// are checked here, and the constants the store's writers agree on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pi/Guid.h"
#include "pi/Records.h"
#include "pi/LittleEndian.h"

namespace pi {

// File-system GUID of the firmware volume that holds the non-volatile
// variable store (EFI_SYSTEM_NV_DATA_FV_GUID).
inline constexpr Guid kSystemNvDataFvGuid = GuidFromText("FFF12B8D-7696-4C8B-A985-2747075B4F50");
// Store signatures: records with the 32-byte header, and records with the
// 60-byte authenticated header.
inline constexpr Guid kVariableStoreGuid = GuidFromText("DDCF3616-3275-4164-98B6-FE85707FFE7D");
inline constexpr Guid kAuthenticatedVariableStoreGuid =
    GuidFromText("AAF32C78-947B-439A-A180-2E144EC37792");

// The header at the start of a variable store; the first record follows it,
// 4-byte aligned.
struct VariableStoreHeader {
  Guid Signature;
  Le32 Size; // the store, this header included (not the volume header)
  uint8_t Format;
  uint8_t State;
  Le16 Reserved;
  Le32 Reserved1;
};
static_assert(sizeof(VariableStoreHeader) == 28);
static_assert(offsetof(VariableStoreHeader, Size) == 16);
static_assert(offsetof(VariableStoreHeader, Format) == 20);
static_assert(offsetof(VariableStoreHeader, State) == 21);

inline constexpr uint8_t kVariableStoreFormatted = 0x5A;
inline constexpr uint8_t kVariableStoreHealthy = 0xFE;

// A record's header in a plain store. The UTF-16 name (with its NUL) follows,
// then the data; the next record starts at the next 4-byte boundary.
struct VariableHeader {
  Le16 StartId;
  uint8_t State;
  uint8_t Reserved;
  Le32 Attributes;
  Le32 NameSize; // bytes, NUL included
  Le32 DataSize;
  Guid VendorGuid;
};
static_assert(sizeof(VariableHeader) == 32);
static_assert(offsetof(VariableHeader, State) == 2);
static_assert(offsetof(VariableHeader, Attributes) == 4);
static_assert(offsetof(VariableHeader, NameSize) == 8);
static_assert(offsetof(VariableHeader, DataSize) == 12);
static_assert(offsetof(VariableHeader, VendorGuid) == 16);

// EFI_TIME: 16 bytes.
struct VariableTime {
  Le16 Year;
  uint8_t Month;
  uint8_t Day;
  uint8_t Hour;
  uint8_t Minute;
  uint8_t Second;
  uint8_t Pad1;
  Le32 Nanosecond;
  Le16 TimeZone;
  uint8_t Daylight;
  uint8_t Pad2;
};
static_assert(sizeof(VariableTime) == 16);

// A record's header in an authenticated store.
struct AuthenticatedVariableHeader {
  Le16 StartId;
  uint8_t State;
  uint8_t Reserved;
  Le32 Attributes;
  Le64 MonotonicCount;
  VariableTime TimeStamp;
  Le32 PubKeyIndex;
  Le32 NameSize;
  Le32 DataSize;
  Guid VendorGuid;
};
static_assert(sizeof(AuthenticatedVariableHeader) == 60);
static_assert(offsetof(AuthenticatedVariableHeader, MonotonicCount) == 8);
static_assert(offsetof(AuthenticatedVariableHeader, TimeStamp) == 16);
static_assert(offsetof(AuthenticatedVariableHeader, PubKeyIndex) == 32);
static_assert(offsetof(AuthenticatedVariableHeader, NameSize) == 36);
static_assert(offsetof(AuthenticatedVariableHeader, DataSize) == 40);
static_assert(offsetof(AuthenticatedVariableHeader, VendorGuid) == 44);

inline constexpr uint16_t kVariableStartId = 0x55AA;
inline constexpr size_t kVariableHeaderAlignment = 4;

// Record states. Flash bits only go from 1 to 0, so each step ANDs its value
// into State: header written (0x7F), whole record written (0x3F), then on
// replace the old copy goes to "in deleted transition" (& 0xFE) and to
// "deleted" (& 0xFD).
inline constexpr uint8_t kVarHeaderValidOnly = 0x7F;
inline constexpr uint8_t kVarAdded = 0x3F;
inline constexpr uint8_t kVarInDeletedTransition = 0xFE;
inline constexpr uint8_t kVarDeleted = 0xFD;

// Attribute bits of a variable.
inline constexpr uint32_t kVariableNonVolatile = 0x01;
inline constexpr uint32_t kVariableBootServiceAccess = 0x02;
inline constexpr uint32_t kVariableRuntimeAccess = 0x04;
inline constexpr uint32_t kVariableHardwareErrorRecord = 0x08;
inline constexpr uint32_t kVariableAuthenticatedWriteAccess = 0x10;
inline constexpr uint32_t kVariableTimeBasedAuthenticatedWriteAccess = 0x20;
inline constexpr uint32_t kVariableAppendWrite = 0x40;
inline constexpr uint32_t kVariableEnhancedAuthenticatedAccess = 0x80;

} // namespace pi
