// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "bench/Budgets.h"

#include <set>

#include <nlohmann/json.hpp>

#include "common/BuildPaths.h"

namespace bench {
namespace {

using nlohmann::json;

class Checker {
public:
  explicit Checker(BudgetVerdict& Verdict) : Verdict_(Verdict) {}

  // Compares Figure with the budget at Node[Key]; What names the figure.
  void Compare(const json& Node, const std::string& Key, const std::string& What, uint64_t Figure) {
    if (!Node.contains(Key)) {
      Verdict_.Failures.push_back("no budget for " + What + " (measured " + std::to_string(Figure) +
                                  ")");
      return;
    }
    const json& Budget = Node.at(Key);
    if (!Budget.is_number_unsigned()) {
      Verdict_.Failures.push_back("budget for " + What +
                                  " is not a non-negative integer: " + Budget.dump());
      return;
    }
    auto Limit = Budget.get<uint64_t>();
    if (Figure > Limit) {
      Verdict_.Failures.push_back(What + ": " + std::to_string(Figure) + ", budget " +
                                  std::to_string(Limit) + ", over by " +
                                  std::to_string(Figure - Limit));
    } else if (Figure < Limit) {
      Verdict_.Notes.push_back(What + ": " + std::to_string(Figure) + ", budget " +
                               std::to_string(Limit) + ", under by " +
                               std::to_string(Limit - Figure) + " (the budget may be lowered)");
    }
  }

private:
  BudgetVerdict& Verdict_;
};

// The instructions of each scenario and the deepest stack of one image,
// against the budgets named Key + "instructions" and Key + "stack bytes";
// What prefixes the figure's name in a message.
void CheckScenarios(const json& Budgets, const std::vector<ScenarioFigures>& Rows,
                    const std::string& Key, const std::string& What, BudgetVerdict& Verdict) {
  Checker Check(Verdict);
  const json Empty = json::object();
  const std::string InstructionsKey = Key + "instructions";
  const json& Instructions =
      Budgets.contains(InstructionsKey) && Budgets[InstructionsKey].is_object()
          ? Budgets[InstructionsKey]
          : Empty;
  if (&Instructions == &Empty)
    Verdict.Failures.push_back("no \"" + InstructionsKey + "\" object of budgets");

  uint64_t Stack = 0;
  bool AllCompleted = true;
  std::set<std::string> Measured;
  for (const auto& Row : Rows) {
    Measured.insert(Row.Name);
    if (!Row.Fault.empty()) {
      Verdict.Failures.push_back(What + "scenario " + Row.Name + " did not complete: " + Row.Fault);
      AllCompleted = false;
      continue;
    }
    Check.Compare(Instructions, Row.Name, What + "instructions of " + Row.Name, Row.Instructions);
    Stack = std::max<uint64_t>(Stack, Row.StackHighWater);
  }
  for (const auto& [Name, Budget] : Instructions.items()) {
    if (!Measured.count(Name)) {
      Verdict.Failures.push_back("budget for " + What + "instructions of " + Name +
                                 " names no benchmark scenario");
    }
  }
  // The deepest stack is only known when every scenario ran to its end.
  if (AllCompleted) {
    Check.Compare(Budgets, Key + "stack bytes", What + "stack high-water bytes (deepest scenario)",
                  Stack);
  }
}

} // namespace

BudgetVerdict CheckBudgets(std::string_view BudgetsJson, const MeasuredFigures& Figures) {
  BudgetVerdict Verdict;
  json Budgets = json::parse(BudgetsJson, nullptr, /*allow_exceptions=*/false);
  if (Budgets.is_discarded() || !Budgets.is_object()) {
    Verdict.Failures.push_back("budgets are not a JSON object");
    return Verdict;
  }
  Checker Check(Verdict);
  Check.Compare(Budgets, "image bytes", "image bytes", Figures.ImageBytes);
  for (const auto& [Name, Figure] : Figures.Bytes)
    Check.Compare(Budgets, Name, Name, Figure);

  CheckScenarios(Budgets, Figures.Scenarios, "", "", Verdict);
  if (!Figures.X64Scenarios.empty())
    CheckScenarios(Budgets, Figures.X64Scenarios, "x64 ", "X64 ", Verdict);
  return Verdict;
}

std::optional<uint64_t> BudgetFile::Limit(const std::string& Name) const {
  auto It = Limits.find(Name);
  return It == Limits.end() ? std::nullopt : std::optional<uint64_t>(It->second);
}

std::optional<uint64_t> BudgetFile::InstructionsOf(const std::string& Object,
                                                   const std::string& Scenario) const {
  auto Group = Instructions.find(Object);
  if (Group == Instructions.end())
    return std::nullopt;
  auto It = Group->second.find(Scenario);
  return It == Group->second.end() ? std::nullopt : std::optional<uint64_t>(It->second);
}

sio::Result<BudgetFile> ReadBudgets(std::string_view BudgetsJson) {
  json Budgets = json::parse(BudgetsJson, nullptr, /*allow_exceptions=*/false);
  if (Budgets.is_discarded() || !Budgets.is_object())
    return sio::Fail("budgets are not a JSON object");
  BudgetFile File;
  for (const auto& [Name, Value] : Budgets.items()) {
    if (Value.is_object()) {
      auto& Group = File.Instructions[Name];
      for (const auto& [Scenario, Budget] : Value.items()) {
        if (!Budget.is_number_unsigned())
          return sio::Fail("budget \"" + Name + "\" of " + Scenario +
                           " is not a non-negative integer: " + Budget.dump());
        Group[Scenario] = Budget.get<uint64_t>();
      }
    } else if (Value.is_number_unsigned()) {
      File.Limits[Name] = Value.get<uint64_t>();
    } else {
      return sio::Fail("budget \"" + Name + "\" is not a non-negative integer: " + Value.dump());
    }
  }
  return File;
}

std::string DefaultBudgetsPath() {
  return std::string(sio::build::kSourceDir) + "/bench/budgets.json";
}

} // namespace bench
