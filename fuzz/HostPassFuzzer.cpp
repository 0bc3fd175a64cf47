// SPDX-License-Identifier: BSD-2-Clause-Patent
// Fuzz target: one pass of the host build of the module on a board the
// fuzzer's bytes describe; any broken invariant aborts with the scenario.
#include <cstdio>
#include <cstdlib>

#include "engine/HostEngine.h"
#include "fuzz/FuzzScenario.h"
#include "invariants/PassInvariants.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  board::Scenario Scenario = fuzzing::ScenarioFromBytes(Data, Size);
  board::PassResult Result = engine::RunHostPass(Scenario);
  auto Rerun = [](const board::Scenario& Again) { return engine::RunHostPass(Again); };
  auto Violations = invariants::CheckPass(Scenario, Result, Rerun);
  if (!Violations.empty()) {
    std::fputs(fuzzing::Describe(Scenario, Result, Violations).c_str(), stderr);
    std::abort();
  }
  return 0;
}
