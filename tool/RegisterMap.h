// SPDX-License-Identifier: BSD-2-Clause-Patent
// The chip's configuration registers in its own terms: what each register the
// bring-up touches means, and the final register map of a pass.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "board/Board.h"
#include "chip/Registers.h"
#include "tool/JsonFields.h"

namespace siotool {

// Name of register Reg with logical device Device selected (ignored for
// chip-global registers below 0x30); empty when the layout gives none.
std::string RegisterName(uint8_t Device, uint8_t Reg);

// The registers worth showing of one device: the named ones and any other
// that is not zero. Device nullopt: the chip-global registers.
std::vector<uint8_t> RegistersToShow(std::optional<uint8_t> Device,
                                     const std::array<uint8_t, 256>& Regs);

// Name of register Reg and what its value in Regs (the device's whole view)
// means, e.g. "I/O base, low byte (base 0x03E8)".
std::string DescribeRegister(std::optional<uint8_t> Device, uint8_t Reg,
                             const std::array<uint8_t, 256>& Regs);

// The stand-in's registers that no longer hold their reset value.
std::vector<uint8_t> ChangedStandInRegisters(const std::array<uint8_t, 256>& Flat);

// "Chip at 0x004E ...", then the global registers and each logical device
// the pass touched, one register a line with its meaning. The stand-in: the
// registers that differ from their reset value.
std::vector<std::string> FormatRegisterMap(const board::ChipState& Chip);
Json RegisterMapToJson(const board::ChipState& Chip);

} // namespace siotool
