// SPDX-License-Identifier: BSD-2-Clause-Patent
// One host engine reused pass after pass gives what a new board gives each
// time: same status, trace, installed PPIs, chip, bridge and POST codes, in
// any order of scenarios, whatever the pass before left on the board.
#include <gtest/gtest.h>

#include <vector>

#include "board/ScenarioCatalog.h"
#include "engine/HostEngine.h"
#include "pi/Status.h"

namespace {

void ExpectSamePass(const board::PassResult& Fresh, const board::PassResult& Reused,
                    const std::string& Name) {
  EXPECT_EQ(Reused.Status, Fresh.Status) << Name;
  EXPECT_EQ(Reused.Events, Fresh.Events) << Name;
  EXPECT_EQ(Reused.Ppis, Fresh.Ppis) << Name;
  EXPECT_EQ(Reused.Chip, Fresh.Chip) << Name;
  EXPECT_EQ(Reused.LpcBridgeDecode, Fresh.LpcBridgeDecode) << Name;
  EXPECT_EQ(Reused.PostCodes, Fresh.PostCodes) << Name;
}

// Boards beyond the catalogue that leave state a reset must clear: registers
// preset on several devices, a chip that answers oddly, a chip whose data port
// wraps round to port 0 or sits on the POST code port, stale buffer bytes and
// a second variable-less board after ones with a variable.
std::vector<board::NamedScenario> Extras() {
  const auto& Default = board::FindScenario("default")->Scenario;
  std::vector<board::NamedScenario> Out;
  auto Add = [&](std::string Name, auto Change) {
    board::Scenario S = Default;
    Change(S);
    Out.push_back({std::move(Name), "", std::move(S)});
  };
  Add("presets on three devices", [](board::Scenario& S) {
    S.Registers = {{0x01, 0x30, 0x01}, {0x05, 0x60, 0x03}, {0x08, 0xF1, 0x44}, {0, 0x26, 0x80}};
  });
  Add("chip answers oddly", [](board::Scenario& S) {
    S.ChipReadAnswers = {0x02, 0x16, 0x00, 0xFF, 0x5A};
  });
  Add("chip at 0xFFFF", [](board::Scenario& S) { S.ChipPort = 0xFFFF; });
  Add("chip on the POST code port", [](board::Scenario& S) { S.ChipPort = 0x80; });
  Add("stale buffer, short variable", [](board::Scenario& S) {
    S.SetupVariable = std::vector<uint8_t>(10, 0x01);
    S.Faults.StaleBuffer = std::vector<uint8_t>(67, 0xEE);
  });
  Add("no variable PPI, no chip", [](board::Scenario& S) {
    S.ChipPort = std::nullopt;
    S.Faults.NoVariablePpi = true;
  });
  Add("install fails",
      [](board::Scenario& S) { S.Faults.InstallPpiStatus = pi::kEfiOutOfResources; });
  return Out;
}

TEST(HostEngineReuse, EveryScenarioForwardsAndBackwardsMatchesANewBoard) {
  std::vector<board::NamedScenario> All(board::ScenarioCatalog().begin(),
                                        board::ScenarioCatalog().end());
  ASSERT_GT(All.size(), 4u);
  for (auto& Extra : Extras())
    All.push_back(std::move(Extra));
  engine::HostEngine Engine;
  for (int Round = 0; Round < 2; ++Round) {
    for (size_t I = 0; I < All.size(); ++I) {
      const auto& S = All[Round == 0 ? I : All.size() - 1 - I];
      uint32_t Status = Engine.Run(S.Scenario);
      board::PassResult Fresh = engine::RunHostPass(S.Scenario);
      EXPECT_EQ(Status, Fresh.Status) << S.Name;
      EXPECT_EQ(Engine.Events(), Fresh.Events) << S.Name;
      ExpectSamePass(Fresh, Engine.Result(), S.Name);
    }
  }
}

TEST(HostEngineReuse, EachScenarioAfterEveryOtherMatchesANewBoard) {
  auto All = Extras();
  for (const auto& S : board::ScenarioCatalog())
    All.push_back(S);
  engine::HostEngine Engine;
  for (const auto& Before : All) {
    for (const auto& After : All) {
      Engine.Run(Before.Scenario);
      Engine.Run(After.Scenario);
      ExpectSamePass(engine::RunHostPass(After.Scenario), Engine.Result(),
                     After.Name + " after " + Before.Name);
    }
  }
}

} // namespace
