// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "bench/FigureTable.h"

#include <algorithm>
#include <cstdio>

namespace bench {
namespace {

// Goals of the image and its tooling.
constexpr uint64_t kImageBytesGoal = 1024;
constexpr uint64_t kTypicalInstructionsGoal = 200;
constexpr double kInstructionsPerAccessGoal = 6.0;
constexpr uint32_t kStackBytesGoal = 128;
constexpr double kHostPassesGoal = 1'000'000;
constexpr double kEmulatorPassesGoal = 20'000;
constexpr std::string_view kTypicalScenario = "chip-4e-no-variable";

std::string Number(double Value, int Decimals = 0) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.*f", Decimals, Value);
  // Thousands separators for whole numbers of five digits and more.
  std::string Digits = Text;
  if (Decimals == 0 && Digits.size() > 4) {
    for (int At = int(Digits.size()) - 3; At > 0; At -= 3)
      Digits.insert(size_t(At), ",");
  }
  return Digits;
}

std::string Met(bool Ok) {
  return Ok ? "yes" : "no";
}

} // namespace

std::vector<FigureRow> BuildFigureRows(const ImageFootprint& Image,
                                       const std::vector<ScenarioFigures>& Scenarios,
                                       const Throughput& Speed) {
  std::vector<FigureRow> Rows;
  Rows.push_back({"image: total bytes (PE32)", Number(double(Image.FileBytes)),
                  "<= " + Number(kImageBytesGoal), Met(Image.FileBytes <= kImageBytesGoal)});
  Rows.push_back({"  headers", Number(Image.HeaderBytes), "", ""});
  Rows.push_back({"  code", Number(Image.CodeBytes), "", ""});
  Rows.push_back({"  read-only data", Number(Image.ReadOnlyDataBytes), "", ""});
  Rows.push_back({"  relocations", Number(Image.RelocationBytes), "", ""});
  Rows.push_back({"  alignment padding", Number(Image.PaddingBytes), "", ""});
  if (Image.TeError.empty()) {
    Rows.push_back({"TE image: total bytes", Number(double(Image.TeFileBytes)), "", ""});
    Rows.push_back({"  TE header and section table", Number(Image.TeHeaderBytes), "", ""});
    Rows.push_back({"  code, read-only data, relocations, padding", "as PE32", "", ""});
  } else {
    Rows.push_back({"TE image", "none: " + Image.TeError, "", ""});
  }
  if (Image.WritableDataBytes) {
    Rows.push_back({"  writable data", Number(Image.WritableDataBytes), "0", "no"});
  }
  for (const auto& Row : Scenarios) {
    std::string Name = Row.Label + ":";
    if (!Row.Fault.empty()) {
      Rows.push_back({Name + " run faulted", Row.Fault, "completes", "no"});
      continue;
    }
    bool Typical = Row.Name == kTypicalScenario;
    Rows.push_back({Name + " port accesses", Number(double(Row.PortAccesses)), "", ""});
    Rows.push_back({Name + " instructions", Number(double(Row.Instructions)),
                    Typical ? "<= " + Number(kTypicalInstructionsGoal) : "",
                    Typical ? Met(Row.Instructions <= kTypicalInstructionsGoal) : ""});
    Rows.push_back({Name + " instructions per port access", Number(Row.InstructionsPerAccess(), 2),
                    "<= " + Number(kInstructionsPerAccessGoal, 0),
                    Met(Row.InstructionsPerAccess() <= kInstructionsPerAccessGoal)});
    Rows.push_back({Name + " stack high-water bytes", Number(Row.StackHighWater),
                    "<= " + Number(kStackBytesGoal), Met(Row.StackHighWater <= kStackBytesGoal)});
  }
  auto Rate = [&](const char* Figure, std::optional<double> Value, double Goal) {
    Rows.push_back({Figure, Value ? Number(*Value) : "not measured", ">= " + Number(Goal),
                    Value ? Met(*Value >= Goal) : ""});
  };
  Rate("host build: passes per second, one core", Speed.HostPassesPerSecond, kHostPassesGoal);
  Rate("emulator: passes per second, one core, one engine", Speed.EmulatorPassesPerSecond,
       kEmulatorPassesGoal);
  return Rows;
}

std::string FormatFigureTable(const std::vector<FigureRow>& Rows) {
  FigureRow Header{"figure", "value", "goal", "met"};
  size_t Widths[3] = {Header.Figure.size(), Header.Value.size(), Header.Goal.size()};
  for (const auto& Row : Rows) {
    Widths[0] = std::max(Widths[0], Row.Figure.size());
    Widths[1] = std::max(Widths[1], Row.Value.size());
    Widths[2] = std::max(Widths[2], Row.Goal.size());
  }
  auto Line = [&](const FigureRow& Row) {
    std::string Text = Row.Figure + std::string(Widths[0] - Row.Figure.size() + 2, ' ');
    Text += std::string(Widths[1] - Row.Value.size(), ' ') + Row.Value + "  ";
    Text += Row.Goal + std::string(Widths[2] - Row.Goal.size() + 2, ' ') + Row.Met;
    while (!Text.empty() && Text.back() == ' ')
      Text.pop_back();
    return Text + "\n";
  };
  std::string Table = Line(Header);
  Table += std::string(Widths[0] + Widths[1] + Widths[2] + 9, '-') + "\n";
  for (const auto& Row : Rows)
    Table += Line(Row);
  return Table;
}

} // namespace bench
