// SPDX-License-Identifier: BSD-2-Clause-Patent
// The benchmark's one table: every figure with its goal and whether it is met.
#pragma once

#include <optional>
#include <string>
#include <vector>

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

std::vector<FigureRow> BuildFigureRows(const ImageFootprint& Image,
                                       const std::vector<ScenarioFigures>& Scenarios,
                                       const Throughput& Speed);
// Aligned columns, one row per line, with a header line.
std::string FormatFigureTable(const std::vector<FigureRow>& Rows);

} // namespace bench
