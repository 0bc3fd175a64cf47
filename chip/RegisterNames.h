// SPDX-License-Identifier: BSD-2-Clause-Patent
// The chip's configuration registers in its own terms: what each register the
// bring-up touches means, and which of a device's registers are worth showing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chip/Registers.h"
#include "common/JsonFields.h"

namespace chip {

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

} // namespace chip
