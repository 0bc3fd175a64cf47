// SPDX-License-Identifier: BSD-2-Clause-Patent
// The properties every pass of the module must have, whatever the board, the
// setup variable or the PEI services answer, judged from the scenario and the
// pass's result alone. Used by the deterministic tests and by every fuzz
// target, on the host build and on the image alike.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "board/Board.h"
#include "chip/BoardValues.h"

namespace invariants {

// Runs a scenario on the same build of the module as the pass being checked.
using PassRunner = std::function<board::PassResult(const board::Scenario&)>;

// The bytes of the setup variable that GetVariable handed over in a pass: the
// first Size bytes of the caller's buffer. A byte is nullopt when the buffer
// held it before the call and the scenario does not say what it was.
struct ReturnedSetupData {
  size_t Size = 0;
  std::vector<std::optional<uint8_t>> Bytes;
};
ReturnedSetupData ReturnedData(const board::Scenario& Scenario, const pi::Trace& Events);

// Every broken invariant of Result, one readable line each; empty when sound.
// With Rerun, the scenario is run again with every byte the variable did not
// hand over (and every byte of it the module has no business reading) changed,
// and the passes must agree access for access. Board: the board values of the
// image the pass ran (its early writes, probe order and script).
std::vector<std::string> CheckPass(const board::Scenario& Scenario, const board::PassResult& Result,
                                   const PassRunner& Rerun = nullptr,
                                   const chip::BoardValues& Board = chip::DefaultBoardValues());

} // namespace invariants
