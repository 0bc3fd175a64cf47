// SPDX-License-Identifier: BSD-2-Clause-Patent
// The chip's configuration interface as the host side knows it: keys,
// register numbers, the ID it answers with and the index ports it may sit at.
// The board model, the trace decoder, the pass invariants and the tests read
// these; the module keeps its own copy (firmware/sio, firmware/setup), held
// equal to this one by tests/firmware/ChipFactsTest.cpp.
#pragma once

#include <array>
#include <cstdint>

namespace chip {

// Configuration mode: the enter key written twice to the index port opens
// it, the exit key once closes it.
inline constexpr uint8_t kEnterKey = 0x77;
inline constexpr uint8_t kExitKey = 0xAA;

// Chip-global registers (below 0x30, whatever logical device is selected).
inline constexpr uint8_t kRegLogicalDevice = 0x07;
inline constexpr uint8_t kRegChipIdHigh = 0x20; // read-only
inline constexpr uint8_t kRegChipIdLow = 0x21;  // read-only
inline constexpr uint8_t kRegGlobal25 = 0x25;
inline constexpr uint8_t kRegGlobal27 = 0x27;

// Registers of the selected logical device (0x30 and up).
inline constexpr uint8_t kFirstDeviceRegister = 0x30;
inline constexpr uint8_t kRegActivate = 0x30;
inline constexpr uint8_t kRegIoBaseHigh = 0x60;
inline constexpr uint8_t kRegIoBaseLow = 0x61;
inline constexpr uint8_t kRegInterrupt = 0x70;

// Logical device 8, set from the setup variable: register 0xF0 is only ever
// ANDed (Param[2] picks which of bits 1 and 2 it clears), register 0xF1
// receives Param[0].
inline constexpr uint8_t kLd8 = 0x08;
inline constexpr uint8_t kLd8RegMode = 0xF0;
inline constexpr uint8_t kLd8RegValue = 0xF1;
inline constexpr uint8_t kLd8ModeBit1 = 1u << 1;
inline constexpr uint8_t kLd8ModeBit2 = 1u << 2;

// What registers 0x20 and 0x21 of this chip read.
inline constexpr uint8_t kChipIdHigh = 0x02;
inline constexpr uint8_t kChipIdLow = 0x16;

// The index port the board's device table names, probed first, and the
// usual index ports searched after it, in order. The data port is the next one.
inline constexpr uint16_t kFirstProbePort = 0x4E;
inline constexpr std::array<uint16_t, 4> kCandidatePorts = {0x2E, 0x4E, 0x162E, 0x164E};
constexpr uint16_t DataPort(uint16_t IndexPort) {
  return static_cast<uint16_t>(IndexPort + 1);
}
// The index port whose data port is Port.
constexpr uint16_t IndexPortOf(uint16_t DataPort) {
  return static_cast<uint16_t>(DataPort - 1);
}

} // namespace chip
