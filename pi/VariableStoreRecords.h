// SPDX-License-Identifier: BSD-2-Clause-Patent
// The records of a firmware variable store and of the firmware volume that
// holds one in flash: packed little-endian structs whose sizes and offsets
// are checked here, and the constants the store's writers agree on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pi/Guid.h"
#include "pi/LittleEndian.h"
#include "pi/Records.h"

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

// ---- The fault-tolerant-write working block ---------------------------------
// It follows the variable store in its volume (the store ends where it
// begins) and queues the block writes the firmware makes through a spare
// area. The header is followed by WriteQueueSize bytes of queue: a write
// header, its NumberOfWrites records (each followed by PrivateDataSize bytes),
// the next write header, and so on; an erased (0xFF) header ends the queue.
inline constexpr Guid kWorkingBlockSignatureGuid =
    GuidFromText("9E58292B-7C68-497D-A0CE-6500FD9F1B95");

struct WorkingBlockHeader {
  Guid Signature;
  Le32 Crc;      // CRC-32 of this header with Crc all 0xFF and State 0xFF
  uint8_t State; // bit 0 valid, bit 1 invalid (a bit is set by clearing it)
  uint8_t Reserved[3];
  Le64 WriteQueueSize;
};
static_assert(sizeof(WorkingBlockHeader) == 32);
static_assert(offsetof(WorkingBlockHeader, Crc) == 16);
static_assert(offsetof(WorkingBlockHeader, State) == 20);
static_assert(offsetof(WorkingBlockHeader, WriteQueueSize) == 24);

// One queued write (naturally aligned: 40 bytes).
struct FtwWriteHeader {
  uint8_t State; // bit 0 header allocated, bit 1 writes allocated, bit 2 complete
  uint8_t Reserved[3];
  Guid CallerId;
  uint8_t Reserved2[4]; // NumberOfWrites is 8-byte aligned
  Le64 NumberOfWrites;
  Le64 PrivateDataSize;
};
static_assert(sizeof(FtwWriteHeader) == 40);
static_assert(offsetof(FtwWriteHeader, NumberOfWrites) == 24);

// One block write of a queued write.
struct FtwWriteRecord {
  uint8_t State; // bit 0 boot block, bit 1 spare complete, bit 2 destination complete
  uint8_t Reserved[7];
  Le64 Lba;
  Le64 Offset;
  Le64 Length;
  Le64 RelativeOffset; // of the target from the spare area
};
static_assert(sizeof(FtwWriteRecord) == 40);

// Working block and queue state bits: erased 1, set when cleared to 0.
inline constexpr uint8_t kWorkingBlockValidBit = 0x1;
inline constexpr uint8_t kWorkingBlockInvalidBit = 0x2;
inline constexpr uint8_t kFtwHeaderAllocatedBit = 0x1;
inline constexpr uint8_t kFtwCompleteBit = 0x4;
inline constexpr uint8_t kFtwSpareCompleteBit = 0x2;
inline constexpr uint8_t kFtwDestinationCompleteBit = 0x4;

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
