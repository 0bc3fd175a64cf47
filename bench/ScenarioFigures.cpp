// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "bench/ScenarioFigures.h"

#include "board/ScenarioCatalog.h"
#include "emulator/ImageEngine.h"

namespace bench {

std::span<const BenchScenario> BenchScenarios() {
  static constexpr BenchScenario Scenarios[] = {
      {"chip-4e-no-variable", "typical pass at 0x4E"},
      {"chip-164e-no-variable", "chip at 0x164E"},
      {"no-chip", "no chip"},
      {"default", "default, one LD8 entry"},
  };
  return Scenarios;
}

std::vector<ScenarioFigures> MeasureScenarios(const std::vector<uint8_t>& Image) {
  std::vector<ScenarioFigures> Rows;
  for (const auto& Scenario : BenchScenarios()) {
    ScenarioFigures Row;
    Row.Name = Scenario.CatalogName;
    Row.Label = Scenario.Label;
    const board::NamedScenario* Named = board::FindScenario(Scenario.CatalogName);
    if (!Named) {
      Row.Fault = "no scenario \"" + Row.Name + "\" in the catalog";
      Rows.push_back(std::move(Row));
      continue;
    }
    emulator::ImageRunReport Report = emulator::RunImagePass(Image, Named->Scenario);
    for (const auto& Event : Report.Result.Events)
      Row.PortAccesses += Event.IsPortAccess();
    Row.Instructions = Report.Instructions;
    Row.StackHighWater = Report.StackHighWater;
    if (!Report.Completed)
      Row.Fault = Report.Fault;
    Rows.push_back(std::move(Row));
  }
  return Rows;
}

} // namespace bench
