// SPDX-License-Identifier: BSD-2-Clause-Patent
// Turns a fuzzer's bytes into a board scenario: where the chip sits and what
// it answers, the setup variable and its returned size, the bytes the variable
// buffer held before the call, and the status of every PEI service call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "board/Board.h"

namespace fuzzing {

board::Scenario ScenarioFromBytes(const uint8_t* Data, size_t Size);

// The scenario, the trace and the violations, for a crash report.
std::string Describe(const board::Scenario& Scenario, const board::PassResult& Result,
                     const std::vector<std::string>& Violations);

} // namespace fuzzing
