// SPDX-License-Identifier: BSD-2-Clause-Patent
// The JSON printer of `sio run`'s report.
#include <algorithm>

#include "board/ScenarioFile.h"
#include "common/Hex.h"
#include "pi/Status.h"
#include "tool/RegisterMap.h"
#include "tool/RunReport.h"

using sio::Hex;

namespace siotool {

Json RunReportToJson(const RunReport& Report) {
  const EngineRun& Run = Report.Run;
  const board::PassResult& R = Run.Result;
  Json Doc;
  Doc["engine"] = EngineName(Run.Engine);
  Doc["completed"] = Run.Completed;
  Doc["fault"] = Run.Completed ? Json(nullptr) : Json(Run.Fault);
  if (Run.Instructions)
    Doc["instructions"] = *Run.Instructions;
  if (Run.StackHighWater)
    Doc["stack_high_water"] = *Run.StackHighWater;
  if (Run.ImageSize)
    Doc["image_size"] = *Run.ImageSize;
  if (Run.Mode)
    Doc["processor_mode"] = emulator::ModeName(*Run.Mode);
  if (Run.LoadAddress)
    Doc["load_address"] = Hex(*Run.LoadAddress, 8);
  if (Run.MovedFrom)
    Doc["link_address"] = Hex(*Run.MovedFrom, 8);
  Doc["scenario"] = ScenarioToJson(Report.Board);

  Json Trace = Json::array();
  const auto& Decoded = Report.Trace;
  for (size_t I = 0; I < R.Events.size(); ++I) {
    const auto& E = R.Events[I];
    Json Item = {{"index", I}, {"kind", pi::KindName(E.Kind)}};
    if (E.IsPortAccess()) {
      Item["width"] = E.Width * 8;
      Item["port"] = Hex(E.Port, 4);
      // Width is 1, 2 or 4 bytes; the bound lets the compiler see the text fits.
      Item["value"] = Hex(E.Value, std::min(E.Width * 2, 16));
    } else {
      Item["status"] = pi::StatusName(E.Status);
      Item["detail"] = pi::FormatCallDetail(E);
    }
    Item["text"] = Decoded[I].Access;
    Item["meaning"] = Decoded[I].Meaning;
    Trace.push_back(Item);
  }
  Doc["trace"] = Trace;

  Doc["lpc_bridge_decode"] = Json::array();
  for (uint8_t B : R.LpcBridgeDecode)
    Doc["lpc_bridge_decode"].push_back(Hex(B, 2));
  Doc["post_codes"] = Json::array();
  for (uint32_t Code : R.PostCodes)
    Doc["post_codes"].push_back(Hex(Code, 2));
  Doc["chip"] = R.Chip ? RegisterMapToJson(*R.Chip) : Json(nullptr);
  Doc["ppis"] = Json::array();
  for (size_t I = 0; I < R.Ppis.size(); ++I) {
    const auto& Ppi = R.Ppis[I];
    Doc["ppis"].push_back({{"guid", pi::FormatGuid(Ppi.Guid)},
                           {"name", Report.PpiNames[I]},
                           {"flags", Hex(Ppi.Flags, 8)},
                           {"interface", Ppi.HasInterface}});
  }
  Doc["status"] = {{"name", pi::StatusName(R.Status)}, {"value", Hex(R.Status, 8)}};
  return Doc;
}

} // namespace siotool
