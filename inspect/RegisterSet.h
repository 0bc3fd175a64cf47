// SPDX-License-Identifier: BSD-2-Clause-Patent
// Which configuration registers `sio inspect` reads: by default those the
// module programs (taken from the register script of its board values and
// its settings stage), with --all every register of logical devices
// 0x00-0x0F.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <vector>

#include "chip/BoardValues.h"

namespace inspect {

struct RegisterKey {
  std::optional<uint8_t> Device; // nullopt: a chip-global register (below 0x30)
  uint8_t Reg = 0;
  auto operator<=>(const RegisterKey&) const = default;
};

struct RegisterSet {
  std::vector<uint8_t> Globals;         // always holds 0x07 and the two chip ID registers
  std::vector<uint8_t> Devices;         // logical devices, in reading order
  std::vector<uint8_t> DeviceRegisters; // registers 0x30 and up read of each device

  // The chip-global registers, then each device's registers.
  std::vector<RegisterKey> Keys() const;
};

// Register 0x07, the chip ID, the chip-global registers of Board's script;
// the logical devices the script selects and logical device 8 of the
// settings stage, each with every register 0x30 and up the module writes.
RegisterSet ModuleRegisters(const chip::BoardValues& Board = chip::DefaultBoardValues());
// Chip-global registers 0x00-0x2F; registers 0x30-0xFF of devices 0x00-0x0F
// but for 0x77 and 0xAA, which the index port takes as the keys.
RegisterSet AllRegisters();

} // namespace inspect
