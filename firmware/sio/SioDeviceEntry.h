// One device of the chip, as the built-in table and the setup variable lay it
// out: 12 packed bytes, multi-byte fields little-endian.
#pragma once

#include "platform/PiPei.h"

inline constexpr UINT8 SioKindConfig = 0x7F; // names the configuration port
inline constexpr UINT8 SioKindLd8 = 0x12;    // configured from setup via logical device 8

struct __attribute__((packed)) SioDeviceEntry {
  UINT8 ChipIdHigh; // register 0x20 must read this back
  UINT8 ChipIdLow;  // register 0x21 must read this back; 0: not compared
  UINT8 Aux;
  UINT8 Kind;
  UINT8 Qualifier;
  UINT8 Enabled;
  UINT16 IoBase; // kind 0x7F: index port to probe first (0: none)
  UINT8 Param[4];
};

static_assert(sizeof(SioDeviceEntry) == 12);
static_assert(__builtin_offsetof(SioDeviceEntry, Kind) == 3);
static_assert(__builtin_offsetof(SioDeviceEntry, IoBase) == 6);
static_assert(__builtin_offsetof(SioDeviceEntry, Param) == 8);

// A list of entries ends at the first entry whose two chip ID bytes are 0.
inline constexpr bool SioIsTerminator(const SioDeviceEntry& Entry) {
  return Entry.ChipIdHigh == 0 && Entry.ChipIdLow == 0;
}
