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

// Gives the data port that goes with an index port.
//
// @param[in] IndexPort  the index port.
//
// @return IndexPort + 1, as a 16-bit address.
inline UINT16 SioDataPort(UINT16 IndexPort) {
  return static_cast<UINT16>(IndexPort + 1);
}

// Puts a chip at IndexPort into configuration mode: the enter key, twice.
//
// @param[in] IndexPort  the index port written.
void SioEnterConfig(UINT16 IndexPort);

// Takes the chip at IndexPort out of configuration mode: the exit key, once.
//
// @param[in] IndexPort  the index port written.
void SioExitConfig(UINT16 IndexPort);

// Writes one configuration register: its number to the index port, the value
// to the data port.
//
// @param[in] IndexPort  the chip's index port.
// @param[in] Reg        the register number.
// @param[in] Value      the byte written.
void SioWriteReg(UINT16 IndexPort, UINT8 Reg, UINT8 Value);

// Reads one configuration register: its number to the index port, then one
// read of the data port. The index port is left pointing at Reg.
//
// @param[in] IndexPort  the chip's index port.
// @param[in] Reg        the register number.
//
// @return the byte the data port returned.
UINT8 SioReadReg(UINT16 IndexPort, UINT8 Reg);

// Selects the logical device the device registers (0x30 and up) address
// (register 0x07).
//
// @param[in] IndexPort  the chip's index port.
// @param[in] Device     the logical device number.
void SioSelectDevice(UINT16 IndexPort, UINT8 Device);
