// SPDX-License-Identifier: BSD-2-Clause-Patent
// Register script played at the configuration port after discovery, in
// Plug and Play ISA terms. The pair (0x00, 0x00) ends it and is not written.
// This is the default of the image's record (entry/SioBoardConfig.h), which
// the pass plays.
#pragma once

#include "platform/PiPei.h"
#include "sio/SioConfigPort.h"

struct SioRegisterWrite {
  UINT8 Register;
  UINT8 Value;
};
static_assert(sizeof(SioRegisterWrite) == 2 && __builtin_offsetof(SioRegisterWrite, Value) == 1);

inline constexpr SioRegisterWrite SioInitScript[] = {
    {SioRegLogicalDevice, 0x00}, // select logical device 0
    // The two chip-global registers, set to the values this board's bring-up
    // requires (0x25 = 0x01, 0x27 = 0x10): they are the board's choice, held
    // by the board model and every golden trace, and a platform that needs
    // others gives them through PcdSioF81216aInitScript. Global registers
    // answer whatever logical device is selected, so they need no selection
    // of their own and are written once, ahead of the devices.
    {0x25, 0x01},                // chip-global register 0x25
    {0x27, 0x10},                // chip-global register 0x27
    {SioRegActivate, 0x01},      // activate logical device 0
    {SioRegIoBaseHigh, 0x03},    // I/O base high byte
    {SioRegIoBaseLow, 0xE8},     // I/O base low byte: 0x03E8
    {SioRegInterrupt, 0x03},     // interrupt level 3
    {SioRegLogicalDevice, 0x01}, // select logical device 1
    {SioRegActivate, 0x00},      // deactivate logical device 1
    {SioRegIoBaseHigh, 0x00},    // I/O base high byte
    {SioRegIoBaseLow, 0x00},     // I/O base low byte: 0x0000
    {SioRegInterrupt, 0x00},     // interrupt level 0
    {0x00, 0x00},                // end of script
};

// Pairs before the end pair, counted while the module is built (a script
// without an end pair does not compile).
inline constexpr UINTN SioInitScriptLength = [] {
  UINTN Length = 0;
  while (SioInitScript[Length].Register != 0 || SioInitScript[Length].Value != 0) {
    ++Length;
  }
  return Length;
}();

// Works out, while the module is built, the I/O base the default script
// gives a logical device.
//
// @param[in] Device  the logical device number.
//
// @return the base its 0x60/0x61 writes give the device, 0 when the script
//         writes neither.
constexpr UINT16 SioInitScriptIoBase(UINT8 Device) {
  UINT8 Selected = 0;
  UINT16 Base = 0;
  for (UINTN I = 0; I < SioInitScriptLength; ++I) {
    const SioRegisterWrite& W = SioInitScript[I];
    if (W.Register == SioRegLogicalDevice) {
      Selected = W.Value;
    } else if (Selected == Device && W.Register == SioRegIoBaseHigh) {
      Base = static_cast<UINT16>((Base & 0x00FF) | W.Value << 8);
    } else if (Selected == Device && W.Register == SioRegIoBaseLow) {
      Base = static_cast<UINT16>((Base & 0xFF00) | W.Value);
    }
  }
  return Base;
}

struct SioBoardConfig;

// Plays a board record's register script: each pair's value is written to
// its register, up to the first (0x00, 0x00) pair, or up to the record's
// closing pair when the reserved pairs hold none. The caller holds the chip
// in configuration mode.
//
// @param[in] IndexPort  the index port the chip answered at.
// @param[in] Board      the board record whose InitScript is played.
void SioRunInitScript(UINT16 IndexPort, const SioBoardConfig* Board);
