// SPDX-License-Identifier: BSD-2-Clause-Patent
// The benchmark's one table: every figure, with its goal and whether it is met
// where it has one. The goals are the budgets CI enforces (bench/budgets.json):
// the bytes, instructions and stack of the image. Rates are measured and
// printed without a goal: they vary with the machine, and no timing gates CI.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bench/Budgets.h"
#include "bench/ImageFootprint.h"
#include "bench/ScenarioFigures.h"

namespace bench {

struct Throughput {
  std::optional<double> HostPassesPerSecond;
  std::optional<double> EmulatorPassesPerSecond;
};

struct FigureRow {
  std::string Figure;
  std::string Value;
  std::string Goal; // empty: no goal
  std::string Met;  // "yes", "no" or empty
};

// The image's processor mode as the table names it and its budgets are named.
struct ImageMode {
  std::string Form;         // "PE32", "PE32+"
  std::string BudgetPrefix; // "" for the IA-32 image's budgets, "x64 " for the X64 image's
};
inline const ImageMode kIa32Mode{"PE32", ""};
inline const ImageMode kX64Mode{"PE32+", "x64 "};

// A figure judged by its budget: goal "<= Budget" and whether Value meets it;
// no budget, no goal.
FigureRow BudgetRow(std::string Figure, uint64_t Value, std::optional<uint64_t> Budget);

std::vector<FigureRow> BuildFigureRows(const ImageFootprint& Image,
                                       const std::vector<ScenarioFigures>& Scenarios,
                                       const Throughput& Speed, const BudgetFile& Budgets,
                                       const ImageMode& Mode);
// Aligned columns, one row per line, with a header line.
std::string FormatFigureTable(const std::vector<FigureRow>& Rows);

} // namespace bench
