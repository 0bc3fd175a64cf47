// SPDX-License-Identifier: BSD-2-Clause-Patent
// Configuration-port protocol: an index port and the data port right above it
// (IndexPort + 1). The register operations assume the chip is already in
// configuration mode.
#pragma once

#include "platform/PiPei.h"

inline constexpr UINT8 SioEnterKey = 0x77; // written twice to the index port
inline constexpr UINT8 SioExitKey = 0xAA;  // written once to the index port

inline constexpr UINT8 SioRegLogicalDevice = 0x07;
inline constexpr UINT8 SioRegChipIdHigh = 0x20;
inline constexpr UINT8 SioRegChipIdLow = 0x21;
inline constexpr UINT8 SioRegActivate = 0x30;
inline constexpr UINT8 SioRegIoBaseHigh = 0x60;
inline constexpr UINT8 SioRegIoBaseLow = 0x61;
inline constexpr UINT8 SioRegInterrupt = 0x70;

// Data port of IndexPort, as a 16-bit address.
inline UINT16 SioDataPort(UINT16 IndexPort) {
  return static_cast<UINT16>(IndexPort + 1);
}

void SioEnterConfig(UINT16 IndexPort);
void SioExitConfig(UINT16 IndexPort);
void SioWriteReg(UINT16 IndexPort, UINT8 Reg, UINT8 Value);
// @retval the byte register Reg holds.
UINT8 SioReadReg(UINT16 IndexPort, UINT8 Reg);
void SioSelectDevice(UINT16 IndexPort, UINT8 Device);
