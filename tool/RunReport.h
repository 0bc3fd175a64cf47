// SPDX-License-Identifier: BSD-2-Clause-Patent
// The report of one `sio run` pass: what the pass ran on and what it did,
// decoded once in the chip's terms. Two printers show the same report: as
// text for a reader, as one JSON document for scripts; neither adds a fact
// the other lacks.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "board/Scenario.h"
#include "chip/TraceDecoder.h"
#include "common/JsonFields.h"
#include "tool/Engine.h"

namespace siotool {

struct RunReport {
  EngineRun Run;                         // how the pass ran, and what it left
  board::Scenario Board;                 // the board it ran on
  std::vector<chip::DecodedEvent> Trace; // each event of Run's trace, decoded
  std::vector<std::string> PpiNames;     // each installed PPI's name, or empty
};

RunReport MakeRunReport(EngineRun Run, board::Scenario Board);

// One line for the board: the chip (or none), its presets and read answers,
// the setup variable and the faults, each fault by its scenario-file key.
std::string BoardSummary(const board::Scenario& Board);

void PrintRunReport(std::ostream& Out, const RunReport& Report);
Json RunReportToJson(const RunReport& Report);

} // namespace siotool
