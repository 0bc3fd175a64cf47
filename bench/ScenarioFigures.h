// SPDX-License-Identifier: BSD-2-Clause-Patent
// What one pass of the module image costs on a scenario of the catalog: its
// port accesses, the instructions the emulator executed and the stack it used.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

struct BenchScenario {
  std::string_view CatalogName; // board::FindScenario name, also the key in the budgets
  std::string_view Label;       // how the table names it
};

// Typical pass at 0x4E, chip at 0x164E, no chip, default (one LD8 entry).
std::span<const BenchScenario> BenchScenarios();

struct ScenarioFigures {
  std::string Name; // catalog name
  std::string Label;
  size_t PortAccesses = 0;
  uint64_t Instructions = 0;
  uint32_t StackHighWater = 0; // bytes below the entry ESP
  std::string Fault;           // non-empty: the run did not complete, figures are partial

  double InstructionsPerAccess() const {
    return PortAccesses ? double(Instructions) / double(PortAccesses) : 0.0;
  }
};

// Runs Image once on each bench scenario in the emulator. A scenario missing
// from the catalog is reported as a fault of that row.
std::vector<ScenarioFigures> MeasureScenarios(const std::vector<uint8_t>& Image);

} // namespace bench
