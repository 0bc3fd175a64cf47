// SPDX-License-Identifier: BSD-2-Clause-Patent
// What the chip's registers should hold after the module's pass, as the
// board model says: the host build of the module runs on a board built from a
// scenario (or from the live setup variable), then the chip is read back
// exactly as `sio inspect` reads a real one. The pass runs twice, with every
// register the scenario leaves unset starting at 0x00 and at 0xFF: a bit that
// ends the same in both is the pass's doing and is expected; one that
// follows the start value is not known (register 0xF0 of logical device 8,
// whose bits the setup only clears, keeps the others). Registers the scenario
// presets are known before the pass, so all their bits are expected; so are
// all the registers of QEMU's stand-in, whose reset values are known.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "board/Scenario.h"
#include "chip/BoardValues.h"
#include "inspect/EfiVariable.h"
#include "inspect/RegisterSet.h"

namespace inspect {

struct Expected {
  uint8_t Value = 0; // the expected bits (those in Mask)
  uint8_t Mask = 0;  // bits known; 0: nothing expected of the register
  bool operator==(const Expected&) const = default;
};

struct Expectation {
  std::string Source; // e.g. "scenario default", "the live setup variable"
  bool FromSetupVariable = false;
  std::map<RegisterKey, Expected> Registers;
  std::optional<LiveVariable> Variable; // the live variable it was made from
};

// The pass is the module's given Values (an image's board values: its
// ports, script, progress code and LPC write), and the reading probes
// Values' ports. Fails when the module finds no chip on the scenario's board.
sio::Result<Expectation>
ExpectFromScenario(const board::Scenario& Scenario, bool All, const std::string& Source,
                   const chip::BoardValues& Values = chip::DefaultBoardValues());

// The default board with nothing known of the chip's registers before the
// pass and Variable's content as the setup variable (none when absent); its
// chip at the port Board's discovery probes first.
board::Scenario LiveScenario(const LiveVariable& Variable,
                             const chip::BoardValues& Board = chip::DefaultBoardValues());
sio::Result<Expectation>
ExpectFromVariable(const LiveVariable& Variable, bool All,
                   const chip::BoardValues& Board = chip::DefaultBoardValues());

} // namespace inspect
