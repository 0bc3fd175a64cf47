// SPDX-License-Identifier: BSD-2-Clause-Patent
// What a NAME|FILE argument (`--scenario`, `inspect --expect`) names: a
// scenario of the catalog (board/ScenarioCatalog.h) or a scenario file.
//   - An argument with a path separator ("./no-chip", "scenarios/x.json") is
//     a file.
//   - Otherwise a catalog name is the catalog's scenario, unless a file of
//     that name exists too: then the argument is refused as ambiguous (write
//     ./NAME for the file).
//   - Otherwise it is a file when one exists; an argument that is neither is
//     refused, naming the catalog.
#pragma once

#include <string>

#include "board/ScenarioCatalog.h"
#include "common/Result.h"

namespace board {

struct ScenarioChoice {
  const NamedScenario* Named = nullptr; // the catalog's scenario, or else
  std::string File;                     // the scenario file to read
};

// The catalog's names, "default, ...", for help and messages.
std::string ScenarioNames();

// The choice Text makes, or why it names none: "NAME: ..." (bad input).
sio::Result<ScenarioChoice> ChooseScenario(const std::string& Text);

} // namespace board
