// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "bench/FigureTable.h"

#include <algorithm>
#include <cstdio>

namespace bench {
namespace {

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

FigureRow BudgetRow(std::string Figure, uint64_t Value, std::optional<uint64_t> Budget) {
  if (!Budget)
    return {std::move(Figure), Number(double(Value)), "", ""};
  return {std::move(Figure), Number(double(Value)), "<= " + Number(double(*Budget)),
          Met(Value <= *Budget)};
}

std::vector<FigureRow> BuildFigureRows(const ImageFootprint& Image,
                                       const std::vector<ScenarioFigures>& Scenarios,
                                       const Throughput& Speed, const BudgetFile& Budgets,
                                       const ImageMode& Mode) {
  const std::string& Prefix = Mode.BudgetPrefix;
  std::vector<FigureRow> Rows;
  Rows.push_back(BudgetRow("image: total bytes (" + Mode.Form + ")", Image.FileBytes,
                           Budgets.Limit(Prefix + "image bytes")));
  Rows.push_back({"  headers", Number(Image.HeaderBytes), "", ""});
  Rows.push_back({"  code", Number(Image.CodeBytes), "", ""});
  Rows.push_back({"  read-only data", Number(Image.ReadOnlyDataBytes), "", ""});
  Rows.push_back({"  relocations", Number(Image.RelocationBytes), "", ""});
  Rows.push_back({"  alignment padding", Number(Image.PaddingBytes), "", ""});
  if (Image.TeError.empty()) {
    Rows.push_back(
        BudgetRow("TE image: total bytes", Image.TeFileBytes, Budgets.Limit(Prefix + "te bytes")));
    Rows.push_back({"  TE header and section table", Number(Image.TeHeaderBytes), "", ""});
    Rows.push_back({"  code, read-only data, relocations, padding", "as " + Mode.Form, "", ""});
  } else {
    Rows.push_back({"TE image", "none: " + Image.TeError, "", ""});
  }
  if (Image.WritableDataBytes) {
    Rows.push_back({"  writable data", Number(Image.WritableDataBytes), "0", "no"});
  }
  const std::string InstructionsKey = Prefix + "instructions";
  const std::optional<uint64_t> StackBudget = Budgets.Limit(Prefix + "stack bytes");
  for (const auto& Row : Scenarios) {
    std::string Name = Row.Label + ":";
    if (!Row.Fault.empty()) {
      Rows.push_back({Name + " run faulted", Row.Fault, "completes", "no"});
      continue;
    }
    Rows.push_back({Name + " port accesses", Number(double(Row.PortAccesses)), "", ""});
    Rows.push_back(BudgetRow(Name + " instructions", Row.Instructions,
                             Budgets.InstructionsOf(InstructionsKey, Row.Name)));
    // Derived from two figures CI holds (instructions by their budget, port
    // accesses by the golden traces): printed, not judged on its own.
    Rows.push_back(
        {Name + " instructions per port access", Number(Row.InstructionsPerAccess(), 2), "", ""});
    // The budget binds the deepest scenario, so it binds each.
    Rows.push_back(BudgetRow(Name + " stack high-water bytes", Row.StackHighWater, StackBudget));
  }
  auto Rate = [&](const char* Figure, std::optional<double> Value) {
    Rows.push_back({Figure, Value ? Number(*Value) : "not measured", "", ""});
  };
  Rate("host build: passes per second, one core", Speed.HostPassesPerSecond);
  Rate("emulator: passes per second, one core, one engine", Speed.EmulatorPassesPerSecond);
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
