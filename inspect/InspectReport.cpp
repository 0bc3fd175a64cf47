// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/InspectReport.h"

#include <array>
#include <cstdio>
#include <map>
#include <optional>

#include "chip/RegisterNames.h"
#include "chip/Registers.h"
#include "chip/SetupVariable.h"
#include "common/Hex.h"

namespace inspect {
namespace {

using sio::Hex;
using siotool::Json;
using Views = std::map<std::optional<uint8_t>, std::array<uint8_t, 256>>;

// Each device's registers (and the chip-global ones) as a whole view, so a
// register's meaning can take in its neighbours (the I/O base's two bytes).
Views ViewsOf(const ChipReading& Reading) {
  Views Out;
  for (const auto& [Key, Value] : Reading.Values)
    Out[Key.Device][Key.Reg] = Value;
  return Out;
}

std::string Meaning(const Views& All, const RegisterKey& Key) {
  return chip::DescribeRegister(Key.Device, Key.Reg, All.at(Key.Device));
}

bool Shown(const InspectReport& Report, const RegisterCheck& Check) {
  return !Report.All || Check.Result != Mark::Unchecked || Check.Read != 0 ||
         !chip::RegisterName(Check.Key.Device.value_or(0), Check.Key.Reg).empty();
}

std::string ExpectedText(const Expected& Want) {
  if (Want.Mask == 0xFF)
    return Hex(Want.Value, 2);
  return "bits " + Hex(Want.Mask, 2) + " = " + Hex(Want.Value, 2);
}

std::string PortList(const std::vector<uint16_t>& Ports) {
  std::string Text;
  for (uint16_t Port : Ports)
    Text += (Text.empty() ? "" : ", ") + Hex(Port, 4);
  return Text;
}

std::string SummaryText(const Comparison& Result, const Expectation* Expect) {
  if (!Expect)
    return "Summary: nothing expected (give --expect SCENARIO or --expect-live); " +
           std::to_string(Result.Unchecked) + " registers read";
  return "Summary: " + std::to_string(Result.Matched + Result.Differing) +
         " checked: " + std::to_string(Result.Matched) + " match, " +
         std::to_string(Result.Differing) + (Result.Differing == 1 ? " differs" : " differ") +
         "; " + std::to_string(Result.Unchecked) + " not checked" +
         (Result.HasDifference() ? " -- DIFFERENCE" : " -- as expected");
}

void AddVariableLines(std::vector<std::string>& Lines, const LiveVariable& Variable) {
  Lines.push_back("Setup variable: " + Variable.Path);
  if (!Variable.Present) {
    Lines.push_back("  absent: the module applies no setup (logical device 8 not checked)");
    return;
  }
  Lines.push_back("  attributes " + Hex(Variable.Attributes, 8) + ", " +
                  std::to_string(Variable.Content.size()) + " bytes");
  for (const std::string& Line : siotool::FormatSetupTable(Variable.Content))
    Lines.push_back("  " + Line);
}

} // namespace

std::vector<std::string> FormatInspectReport(const InspectReport& Report) {
  const ChipReading& R = Report.Reading;
  std::vector<std::string> Lines;
  Lines.push_back("Chip at index port " + Hex(R.IndexPort, 4) + ", data port " +
                  Hex(chip::DataPort(R.IndexPort), 4) + ", through " + Report.Through +
                  " (ports probed: " + PortList(R.PortsProbed) + ")");
  Lines.push_back("Register 0x07 found at " + Hex(R.SelectedBefore, 2) +
                  (R.Restored() ? ", put back (reads " + Hex(R.SelectedAfter, 2) + " again)"
                                : ", written back but reads " + Hex(R.SelectedAfter, 2) +
                                      " (the chip did not keep it)") +
                  "; exit key written");
  Lines.push_back(Report.Expect ? "Expected: " + Report.Expect->Source +
                                      ", as the board model's pass leaves it"
                                : "Expected: nothing (registers shown unchecked)");
  Views All = ViewsOf(R);
  std::optional<std::optional<uint8_t>> Group;
  for (const RegisterCheck& Check : Report.Result.Checks) {
    if (!Group || *Group != Check.Key.Device) {
      Group = Check.Key.Device;
      Lines.push_back(Check.Key.Device
                          ? "  Logical device " + std::to_string(*Check.Key.Device) + ":"
                          : "  Global registers:");
    }
    if (!Shown(Report, Check))
      continue;
    std::string Name = Meaning(All, Check.Key);
    if (Check.Result != Mark::Unchecked && Check.Want.Mask != 0xFF)
      Name += (Name.empty() ? "" : "; ") + std::string("checked: ") + ExpectedText(Check.Want);
    char Line[256];
    std::snprintf(Line, sizeof Line, "    0x%02X = 0x%02X  %-4s  %s", Check.Key.Reg, Check.Read,
                  MarkText(Check.Result), Name.c_str());
    std::string Text = Line;
    Text.erase(Text.find_last_not_of(' ') + 1);
    Lines.push_back(Text);
    if (Check.Result == Mark::Differs) {
      Lines.push_back("                       expected " + ExpectedText(Check.Want) + ", read " +
                      Hex(Check.Read, 2));
      Lines.push_back("                       likely: " + Check.Reasons);
    }
  }
  if (Report.Expect && Report.Expect->Variable)
    AddVariableLines(Lines, *Report.Expect->Variable);
  Lines.push_back(SummaryText(Report.Result, Report.Expect));
  return Lines;
}

Json InspectReportToJson(const InspectReport& Report) {
  const ChipReading& R = Report.Reading;
  Json Probed = Json::array();
  for (uint16_t Port : R.PortsProbed)
    Probed.push_back(Hex(Port, 4));
  Json Doc = {{"through", Report.Through},
              {"chip",
               {{"index_port", Hex(R.IndexPort, 4)},
                {"data_port", Hex(chip::DataPort(R.IndexPort), 4)},
                {"ports_probed", Probed},
                {"logical_device_found", Hex(R.SelectedBefore, 2)},
                {"logical_device_after", Hex(R.SelectedAfter, 2)},
                {"restored", R.Restored()}}},
              {"expected", Report.Expect ? Json(Report.Expect->Source) : Json(nullptr)}};
  Views All = ViewsOf(R);
  Json Registers = Json::array();
  for (const RegisterCheck& Check : Report.Result.Checks) {
    if (!Shown(Report, Check))
      continue;
    Json Item = {{"device", Check.Key.Device ? Json(*Check.Key.Device) : Json(nullptr)},
                 {"register", Hex(Check.Key.Reg, 2)},
                 {"name", Meaning(All, Check.Key)},
                 {"read", Hex(Check.Read, 2)},
                 {"mark", MarkName(Check.Result)}};
    if (Check.Result != Mark::Unchecked) {
      Item["expected"] = Hex(Check.Want.Value, 2);
      Item["mask"] = Hex(Check.Want.Mask, 2);
    }
    if (Check.Result == Mark::Differs)
      Item["likely"] = Check.Reasons;
    Registers.push_back(std::move(Item));
  }
  Doc["registers"] = std::move(Registers);
  if (Report.Expect && Report.Expect->Variable) {
    const LiveVariable& V = *Report.Expect->Variable;
    Json Variable = {{"path", V.Path}, {"present", V.Present}};
    if (V.Present) {
      Variable["attributes"] = Hex(V.Attributes, 8);
      const Json Content = siotool::SetupVariableToJson(V.Content);
      for (const auto& [Key, Value] : Content.items())
        Variable[Key] = Value;
    }
    Doc["variable"] = std::move(Variable);
  }
  const Comparison& C = Report.Result;
  Doc["summary"] = {{"checked", C.Matched + C.Differing},
                    {"match", C.Matched},
                    {"differ", C.Differing},
                    {"unchecked", C.Unchecked},
                    {"result", !Report.Expect      ? "nothing expected"
                               : C.HasDifference() ? "difference"
                                                   : "match"}};
  return Doc;
}

} // namespace inspect
