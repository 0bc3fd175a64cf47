// SPDX-License-Identifier: BSD-2-Clause-Patent
// The text and JSON printers of `sio image`'s reports.
#include <cstdio>

#include "common/Hex.h"
#include "tool/CommandReports.h"

using sio::Hex;

namespace siotool {

void PrintText(std::ostream& Out, const ImageCheckResult& Report) {
  Out << pe::FormatImageCheck(Report.Image);
  if (Report.NeverDispatched)
    Out << "Module " << Report.Module << ": " << *Report.NeverDispatched << "\n";
}

Json ReportToJson(const ImageCheckResult& Report) {
  const pe::ImageCheckReport& R = Report.Image;
  Json Checks = Json::array();
  for (const auto& C : R.Checks)
    Checks.push_back({{"name", C.Name}, {"passed", C.Passed}, {"found", C.Message}});
  Json Sections = Json::array();
  for (const auto& S : R.Sections)
    Sections.push_back({{"name", S.Name},
                        {"address", S.VirtualAddress},
                        {"size", S.VirtualSize},
                        {"file_size", S.RawSize},
                        {"access", S.Flags}});
  return {
      {"image", R.Path},
      {"file_size", R.FileSize},
      {"size_in_memory", R.SizeOfImage},
      {"checks", Checks},
      {"sections", Sections},
      {"module", Report.Module.empty() ? Json(nullptr) : Json(Report.Module)},
      {"never_dispatched", Report.NeverDispatched ? Json(*Report.NeverDispatched) : Json(nullptr)},
      {"passed", R.Passed()}};
}

void PrintText(std::ostream& Out, const ImageConfigList& Report) {
  Out << "Image " << Report.Image << ": board record at file offset " << Hex(Report.RecordOffset, 4)
      << "\n";
  char Line[160];
  std::snprintf(Line, sizeof Line, "%-30s %-6s %-6s %4s  %s\n", "PCD", "type", "offset", "size",
                "value");
  Out << Line;
  for (const PcdRow& Pcd : Report.Pcds) {
    std::snprintf(Line, sizeof Line, "%-30s %-6s %-6s %4u  ", Pcd.Name.c_str(), Pcd.Type.c_str(),
                  Hex(Pcd.Offset, 4).c_str(), Pcd.Size);
    Out << Line << Pcd.Value << "\n";
  }
  Out << "Token space: " << Report.TokenSpace << "\n";
  Out << "Probes, in order:";
  for (uint16_t P : Report.Probes)
    Out << " " << Hex(P, 4);
  Out << "\nScript (" << Report.Script.size() << " pairs"
      << (Report.ScriptHasEndPair ? ", then the end pair" : ", no end pair") << "):";
  for (const chip::RegisterWrite& W : Report.Script)
    Out << " " << Hex(W.Reg, 2) << "=" << Hex(W.Value, 2);
  Out << "\n";
  if (!Report.Problem.empty())
    Out << "Not a configuration sio image config --set writes: " << Report.Problem << "\n";
}

Json ReportToJson(const ImageConfigList& Report) {
  Json Pcds = Json::array();
  for (const PcdRow& Pcd : Report.Pcds)
    Pcds.push_back({{"name", Pcd.Name},
                    {"token_space", Report.TokenSpace},
                    {"type", Pcd.Type},
                    {"offset", Pcd.Offset},
                    {"size", Pcd.Size},
                    {"value", Pcd.Value}});
  Json Script = Json::array();
  for (const chip::RegisterWrite& W : Report.Script)
    Script.push_back({{"register", W.Reg}, {"value", W.Value}});
  return {{"image", Report.Image},
          {"record_offset", Report.RecordOffset},
          {"pcds", Pcds},
          {"probes", Report.Probes},
          {"script", Script},
          {"script_end_pair", Report.ScriptHasEndPair},
          {"problem", Report.Problem.empty() ? Json(nullptr) : Json(Report.Problem)}};
}

void PrintText(std::ostream& Out, const ImageConfigWritten& Report) {
  Out << "Wrote " << Report.Output << ": " << Report.PcdsSet << " PCD"
      << (Report.PcdsSet == 1 ? "" : "s") << " set\n";
}

Json ReportToJson(const ImageConfigWritten& Report) {
  return {{"output", Report.Output}, {"pcds_set", Report.PcdsSet}};
}

void PrintText(std::ostream& Out, const ImageConfigInf& Report) {
  Out << Report.Section;
}

Json ReportToJson(const ImageConfigInf& Report) {
  return {{"inf_section", Report.Section}};
}

void PrintText(std::ostream& Out, const ImageExtracted& Report) {
  Out << "Wrote " << Report.Output << ": the " << Report.Where << ", " << Report.Size
      << " bytes, linked at " << Hex(Report.LinkedAt, 8) << "\n";
}

Json ReportToJson(const ImageExtracted& Report) {
  return {{"output", Report.Output},
          {"where", Report.Where},
          {"size", Report.Size},
          {"linked_at", Report.LinkedAt}};
}

} // namespace siotool
