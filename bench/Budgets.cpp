// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "bench/Budgets.h"

#include <set>

#include <nlohmann/json.hpp>

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

  const json Empty = json::object();
  const json& Instructions = Budgets.contains("instructions") && Budgets["instructions"].is_object()
                                 ? Budgets["instructions"]
                                 : Empty;
  if (&Instructions == &Empty)
    Verdict.Failures.push_back("no \"instructions\" object of budgets");

  uint64_t Stack = 0;
  bool AllCompleted = true;
  std::set<std::string> Measured;
  for (const auto& Row : Figures.Scenarios) {
    Measured.insert(Row.Name);
    if (!Row.Fault.empty()) {
      Verdict.Failures.push_back("scenario " + Row.Name + " did not complete: " + Row.Fault);
      AllCompleted = false;
      continue;
    }
    Check.Compare(Instructions, Row.Name, "instructions of " + Row.Name, Row.Instructions);
    Stack = std::max<uint64_t>(Stack, Row.StackHighWater);
  }
  for (const auto& [Name, Budget] : Instructions.items()) {
    if (!Measured.count(Name)) {
      Verdict.Failures.push_back("budget for instructions of " + Name +
                                 " names no benchmark scenario");
    }
  }
  // The deepest stack is only known when every scenario ran to its end.
  if (AllCompleted) {
    Check.Compare(Budgets, "stack bytes", "stack high-water bytes (deepest scenario)", Stack);
  }
  return Verdict;
}

} // namespace bench
