// SPDX-License-Identifier: BSD-2-Clause-Patent
// Size, instruction and stack budgets of the module image, kept in
// bench/budgets.json and checked in CI: a figure above its budget fails with a
// message that names the figure, the budget and the difference.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/ScenarioFigures.h"
#include "common/Result.h"

namespace bench {

// The deterministic figures the budgets bound.
struct MeasuredFigures {
  uint64_t ImageBytes = 0;
  std::vector<ScenarioFigures> Scenarios;
  // Further byte counts, each bounded by the budget of its name: "te bytes"
  // (the IA-32 image's TE form), "x64 image bytes", "x64 te bytes".
  std::map<std::string, uint64_t> Bytes;
  // The X64 image's passes, bounded by "x64 instructions" and "x64 stack
  // bytes" as Scenarios by "instructions" and "stack bytes"; none: not checked.
  std::vector<ScenarioFigures> X64Scenarios;
};

struct BudgetVerdict {
  std::vector<std::string> Failures; // one line each: over budget, missing, malformed, faulted
  std::vector<std::string> Notes;    // figures well under their budget, worth tightening
  bool Passed() const { return Failures.empty(); }
};

// BudgetsJson: the text of budgets.json, e.g.
//   {"image bytes": 1008, "stack bytes": 128,
//    "instructions": {"chip-4e-no-variable": 190, ...},
//    "x64 stack bytes": 176, "x64 instructions": {...}}
// Every figure needs a budget and every budget of instructions a figure;
// malformed text is a failure.
BudgetVerdict CheckBudgets(std::string_view BudgetsJson, const MeasuredFigures& Figures);

// The budgets as numbers, for the benchmark's table: its goals are the
// budgets CI enforces, read from the same file.
struct BudgetFile {
  // The budgets of single figures by name: "image bytes", "te bytes",
  // "stack bytes", "x64 image bytes", "setup dxe bytes", ...
  std::map<std::string, uint64_t> Limits;
  // The instruction budgets by object name ("instructions", "x64
  // instructions"), then by scenario.
  std::map<std::string, std::map<std::string, uint64_t>> Instructions;

  std::optional<uint64_t> Limit(const std::string& Name) const;
  std::optional<uint64_t> InstructionsOf(const std::string& Object,
                                         const std::string& Scenario) const;
};

// Reads the text of budgets.json. An error (bad input) names the first value
// that is not a non-negative integer, or says the text is not a JSON object.
sio::Result<BudgetFile> ReadBudgets(std::string_view BudgetsJson);

// bench/budgets.json in the source tree: the file the CI check
// (image_within_budgets) reads and the benchmark takes its goals from.
std::string DefaultBudgetsPath();

} // namespace bench
