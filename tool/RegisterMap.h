// SPDX-License-Identifier: BSD-2-Clause-Patent
// The final register map of a pass, in the chip's own terms (register names:
// chip/RegisterNames.h): as report lines and as JSON.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "board/Board.h"
#include "common/JsonFields.h"

namespace siotool {

// The stand-in's registers that no longer hold their reset value.
std::vector<uint8_t> ChangedStandInRegisters(const std::array<uint8_t, 256>& Flat);

// "Chip at 0x004E ...", then the global registers and each logical device
// the pass touched, one register a line with its meaning. The stand-in: the
// registers that differ from their reset value.
std::vector<std::string> FormatRegisterMap(const board::ChipState& Chip);
Json RegisterMapToJson(const board::ChipState& Chip);

} // namespace siotool
