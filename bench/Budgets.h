// SPDX-License-Identifier: BSD-2-Clause-Patent
// Size, instruction and stack budgets of the module image, kept in
// bench/budgets.json and checked in CI: a figure above its budget fails with a
// message that names the figure, the budget and the difference.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "bench/ScenarioFigures.h"

namespace bench {

// The deterministic figures the budgets bound.
struct MeasuredFigures {
  uint64_t ImageBytes = 0;
  std::vector<ScenarioFigures> Scenarios;
  // Further byte counts, each bounded by the budget of its name: "te bytes"
  // (the IA-32 image's TE form), "x64 image bytes", "x64 te bytes".
  std::map<std::string, uint64_t> Bytes;
};

struct BudgetVerdict {
  std::vector<std::string> Failures; // one line each: over budget, missing, malformed, faulted
  std::vector<std::string> Notes;    // figures well under their budget, worth tightening
  bool Passed() const { return Failures.empty(); }
};

// BudgetsJson: the text of budgets.json, e.g.
//   {"image bytes": 1008, "stack bytes": 128,
//    "instructions": {"chip-4e-no-variable": 190, ...}}
// Every figure needs a budget and every budget of instructions a figure;
// malformed text is a failure.
BudgetVerdict CheckBudgets(std::string_view BudgetsJson, const MeasuredFigures& Figures);

} // namespace bench
