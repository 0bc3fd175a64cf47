// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/RunReport.h"

#include "board/ScenarioFile.h"
#include "common/Hex.h"
#include "pi/KnownGuids.h"

using sio::Hex;

namespace siotool {

RunReport MakeRunReport(EngineRun Run, board::Scenario Board) {
  RunReport Report{std::move(Run), std::move(Board), {}, {}};
  Report.Trace = chip::DecodeTrace(Report.Run.Result.Events, Report.Run.Config.IndexPorts());
  for (const auto& Ppi : Report.Run.Result.Ppis)
    Report.PpiNames.push_back(pi::GuidName(Ppi.Guid));
  return Report;
}

std::string BoardSummary(const board::Scenario& S) {
  std::string Line;
  if (S.ChipPort) {
    Line = std::string(S.Kind == board::ChipKind::MixerStandIn ? "stand-in " : "chip ") + "at " +
           Hex(*S.ChipPort, 4) + " (ID " + Hex(S.ChipIdHigh, 2) + " " + Hex(S.ChipIdLow, 2) + ")";
  } else {
    Line = "no chip";
  }
  if (!S.ChipReadAnswers.empty())
    Line += ", " + std::to_string(S.ChipReadAnswers.size()) + " data-port reads answered oddly";
  Line += ", " + std::to_string(S.Registers.size()) + " register preset" +
          (S.Registers.size() == 1 ? "" : "s");
  Line += S.SetupVariable
              ? ", setup variable of " + std::to_string(S.SetupVariable->size()) + " bytes"
              : ", no setup variable";
  // The faults as the scenario file names them, so that every one is shown.
  std::string Faults;
  const Json Written = ScenarioToJson(S);
  for (const auto& [Key, Value] : Written["faults"].items()) {
    if (Value.is_null() || Value == false)
      continue;
    Faults += (Faults.empty() ? "" : ", ") + Key;
    if (Key == "stale_buffer")
      Faults += " of " + std::to_string(S.Faults.StaleBuffer.size()) + " bytes";
    else if (!Value.is_boolean())
      Faults += " " + (Value.is_string() ? Value.get<std::string>() : Value.dump());
  }
  return Line + (Faults.empty() ? ", no faults" : "; faults: " + Faults);
}

} // namespace siotool
