// SPDX-License-Identifier: BSD-2-Clause-Patent
// The chip as this board carries it: ID bytes 0x02 0x16, configuration port
// expected at 0x4E first, then searched at the four usual index ports.
#pragma once

#include "sio/SioDeviceEntry.h"

// The index port probed first, the configuration entry's IoBase. The image
// probes the value of its record instead (entry/SioBoardConfig.h), whose
// default this is.
inline constexpr UINT16 SioDefaultConfigPort = 0x004E;

// Every entry carries the chip's ID bytes.
inline constexpr SioDeviceEntry SioDeviceTable[] = {
    // Logical device 0, enabled at the I/O base the register script gives it
    // (entry/SioInitScript.cpp holds the two equal).
    {.ChipIdHigh = 0x02,
     .ChipIdLow = 0x16,
     .Aux = 0x00,
     .Kind = SioKindScriptDevice,
     .Qualifier = 0x00,
     .Enabled = 0x01,
     .IoBase = 0x03E8,
     .Param = {0x00, 0x00, 0x04, 0x00}},
    // Logical device 1, which the register script deactivates.
    {.ChipIdHigh = 0x02,
     .ChipIdLow = 0x16,
     .Aux = 0x00,
     .Kind = SioKindScriptDevice,
     .Qualifier = 0x00,
     .Enabled = 0x00,
     .IoBase = 0x0000,
     .Param = {0x00, 0x01, 0x00, 0x00}},
    // Logical device 8, configured from the setup variable.
    {.ChipIdHigh = 0x02,
     .ChipIdLow = 0x16,
     .Aux = 0x00,
     .Kind = SioKindLd8,
     .Qualifier = 0x00,
     .Enabled = 0x00,
     .IoBase = 0x0000,
     .Param = {0x00, 0x00, 0x00, 0x00}},
    // The configuration entry: the index port probed first.
    {.ChipIdHigh = 0x02,
     .ChipIdLow = 0x16,
     .Aux = 0x00,
     .Kind = SioKindConfig,
     .Qualifier = 0x00,
     .Enabled = 0x00,
     .IoBase = SioDefaultConfigPort,
     .Param = {0x00, 0x00, 0x00, 0x00}},
    // The terminator: both chip ID bytes 0.
    {.ChipIdHigh = 0x00,
     .ChipIdLow = 0x00,
     .Aux = 0x00,
     .Kind = 0x00,
     .Qualifier = 0x00,
     .Enabled = 0x00,
     .IoBase = 0x0000,
     .Param = {0x00, 0x00, 0x00, 0x00}},
};

// The usual index ports, probed after the first one (the defaults of the
// image's record).
inline constexpr UINTN SioCandidatePortCount = 4;
inline constexpr UINT16 SioCandidatePorts[SioCandidatePortCount] = {0x002E, 0x004E, 0x162E, 0x164E};
