// SPDX-License-Identifier: BSD-2-Clause-Patent
// Named whole-pass scenarios: the boards the host tests, the image's
// differential tests and the `sio` tool all run by name, so each is written once.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "board/Scenario.h"

namespace board {

struct NamedScenario {
  std::string Name;        // e.g. "chip-164e-no-variable"
  std::string Description; // one line for people
  board::Scenario Scenario;
};

// Every named scenario, "default" first.
std::span<const NamedScenario> ScenarioCatalog();
// The scenario called Name, or nullptr.
const NamedScenario* FindScenario(std::string_view Name);

} // namespace board
