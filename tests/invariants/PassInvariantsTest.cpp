// SPDX-License-Identifier: BSD-2-Clause-Patent
// The invariant checker itself: quiet on sound passes, and each invariant
// caught on a hand-broken trace of an otherwise sound pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/HostEngine.h"
#include "invariants/PassInvariants.h"
#include "pi/Status.h"
#include "tests/support/Harness.h"
#include "tests/support/TraceBuilder.h"

namespace {

using pi::EventKind;
using pi::TraceEvent;

TraceEvent Out8(uint16_t Port, uint8_t Value) {
  return {EventKind::IoWrite, 1, Port, Value, 0, {}};
}

// Index of the first event that satisfies Pred (the trace must hold one).
size_t Find(const pi::Trace& T, const std::function<bool(const TraceEvent&)>& Pred) {
  auto It = std::find_if(T.begin(), T.end(), Pred);
  EXPECT_NE(It, T.end());
  return size_t(It - T.begin());
}
size_t FindOut(const pi::Trace& T, uint16_t Port, uint8_t Value) {
  return Find(T, [&](const TraceEvent& E) { return E == Out8(Port, Value); });
}
size_t FindKind(const pi::Trace& T, EventKind Kind) {
  return Find(T, [&](const TraceEvent& E) { return E.Kind == Kind; });
}

std::string Joined(const std::vector<std::string>& Lines) {
  std::string Text;
  for (const auto& L : Lines)
    Text += "  " + L + "\n";
  return Text;
}

board::PassResult HostPass(const board::Scenario& S) {
  return engine::RunHostPass(S);
}

TEST(PassInvariants, SoundPassesHaveNoViolations) {
  board::Scenario Stale = board::DefaultScenario();
  Stale.Faults.StaleBuffer.assign(67, 0x12);
  Stale.SetupVariable->resize(30);
  board::Scenario Absent = test::ChipAt(std::nullopt);
  board::Scenario Failing = board::DefaultScenario();
  Failing.Faults.InstallPpiStatus = pi::kEfiOutOfResources;
  for (const auto& S : {board::DefaultScenario(), test::ChipAt(0x164E), Absent, Stale, Failing}) {
    auto R = HostPass(S);
    EXPECT_EQ(invariants::CheckPass(S, R, HostPass), std::vector<std::string>{})
        << test::Dump(R.Events);
  }
}

TEST(PassInvariants, EachBrokenInvariantIsReported) {
  using Break = std::function<void(board::Scenario&, board::PassResult&)>;
  auto Mode00 = [] {
    board::Scenario S = board::DefaultScenario();
    S.Registers = {{0x08, 0xF0, 0x00}};
    return S;
  };
  struct Case {
    const char* Name;
    board::Scenario Scenario;
    Break Edit;
    const char* Expected; // part of the message
  } Cases[] = {
      {"POST code written as a byte", board::DefaultScenario(),
       [](auto&, auto& R) { R.Events[0].Width = 1; }, "early write 1"},
      {"LPC bridge value wrong", board::DefaultScenario(),
       [](auto&, auto& R) { R.Events[2].Value = 0x3F0F0016; }, "early write 3"},
      {"access to a foreign port", board::DefaultScenario(),
       [](auto&, auto& R) { R.Events.insert(R.Events.begin() + 5, Out8(0x3F8, 0x00)); },
       "outside the chip's candidate ports"},
      {"read of an index port", board::DefaultScenario(),
       [](auto&, auto& R) { R.Events[6] = {EventKind::IoRead, 1, 0x4E, 0x02, 0, {}}; },
       "read of an index port"},
      {"probes in the wrong order", test::ChipAt(0x164E),
       [](auto&, auto& R) { R.Events[7].Port = R.Events[8].Port = R.Events[9].Port = 0x162E; },
       "probe: enter key"},
      {"another candidate touched after discovery", board::DefaultScenario(),
       [](auto&, auto& R) {
         R.Events.insert(R.Events.begin() + FindOut(R.Events, 0x4E, 0xAA), Out8(0x2E, 0x07));
       },
       "away from the found port"},
      {"register script altered", board::DefaultScenario(),
       [](auto&, auto& R) { R.Events[FindOut(R.Events, 0x4F, 0xE8)].Value = 0xF8; },
       "register script: value"},
      {"exit key missing", board::DefaultScenario(),
       [](auto&, auto& R) { R.Events.erase(R.Events.begin() + FindOut(R.Events, 0x4E, 0xAA)); },
       "exit key written 0 times"},
      {"exit key twice", board::DefaultScenario(),
       [](auto&, auto& R) {
         R.Events.insert(R.Events.begin() + FindOut(R.Events, 0x4E, 0xAA), Out8(0x4E, 0xAA));
       },
       "exit key written 2 times"},
      {"configuration write after the exit key", board::DefaultScenario(),
       [](auto&, auto& R) {
         R.Events.insert(R.Events.begin() + FindOut(R.Events, 0x4E, 0xAA) + 1, Out8(0x4F, 0x01));
       },
       "port access after the exit key"},
      {"InstallPpi before the exit key", board::DefaultScenario(),
       [](auto&, auto& R) { std::swap(R.Events[FindOut(R.Events, 0x4E, 0xAA)], R.Events.back()); },
       "InstallPpi before the exit key"},
      {"InstallPpi twice", board::DefaultScenario(),
       [](auto&, auto& R) { R.Events.push_back(R.Events.back()); }, "InstallPpi called 2 times"},
      {"status not InstallPpi's", board::DefaultScenario(),
       [](auto&, auto& R) { R.Status = pi::kEfiDeviceError; }, "InstallPpi returned"},
      {"ready PPI missing", board::DefaultScenario(), [](auto&, auto& R) { R.Ppis.clear(); },
       "installed PPIs"},
      {"register 0xF0 gets a bit set", Mode00(),
       [](auto&, auto& R) { R.Events[FindOut(R.Events, 0x4E, 0xF0) + 2].Value = 0x04; },
       "register 0xF0 got a bit set"},
      {"register 0xF0 loses a bit beyond bits 1 and 2", board::DefaultScenario(),
       [](auto&, auto& R) { R.Events[FindOut(R.Events, 0x4E, 0xF0) + 2].Value = 0x7B; },
       "lost a bit other than bits 1 and 2"},
      {"register 0xF0 written back without the read", board::DefaultScenario(),
       [](auto&, auto& R) { R.Events.erase(R.Events.begin() + FindOut(R.Events, 0x4E, 0xF0) + 1); },
       "written without being read first"},
      {"register 0xF1 given a foreign byte", board::DefaultScenario(),
       [](auto&, auto& R) { R.Events[FindOut(R.Events, 0x4F, 0x5A)].Value = 0x5B; },
       "no matching entry's Param[0]"},
      {"another register of logical device 8", board::DefaultScenario(),
       [](auto&, auto& R) { R.Events[FindOut(R.Events, 0x4E, 0xF1)].Value = 0xF2; },
       "logical device 8 register 0xF2 written"},
      {"logical device 8 deactivated", board::DefaultScenario(),
       [](auto&, auto& R) {
         size_t Select = FindOut(R.Events, 0x4F, 0x08);
         R.Events[Select + 2].Value = 0x00;
       },
       "other than active"},
      {"logical device 8 programmed with no variable", board::DefaultScenario(),
       [](auto&, auto& R) {
         R.Events[FindKind(R.Events, EventKind::GetVariable)].Status = pi::kEfiNotFound;
       },
       "without a matching entry"},
      {"pass goes on without a chip", test::ChipAt(std::nullopt),
       [](auto&, auto& R) { R.Events.push_back(Out8(0x4E, 0x77)); }, "yet the pass went on"},
      {"no chip but success", test::ChipAt(std::nullopt),
       [](auto&, auto& R) { R.Status = pi::kEfiSuccess; }, "expected EFI_UNSUPPORTED"},
  };
  for (auto& C : Cases) {
    board::PassResult R = HostPass(C.Scenario);
    C.Edit(C.Scenario, R);
    auto Violations = invariants::CheckPass(C.Scenario, R);
    bool Reported = std::any_of(Violations.begin(), Violations.end(), [&](const std::string& V) {
      return V.find(C.Expected) != std::string::npos;
    });
    EXPECT_TRUE(Reported) << C.Name << ": expected \"" << C.Expected << "\", got\n"
                          << Joined(Violations);
  }
}

TEST(PassInvariants, RerunChangesOnlyBytesTheModuleMayNotUse) {
  // A 30-byte variable (entries 0 and 1 whole, entry 2 in part), claimed
  // whole: the reruns keep every read field inside the 30 bytes, and the first
  // (every byte flipped) changes everything else, stale buffer included.
  board::Scenario S = board::DefaultScenario();
  board::SetLd8Entry(*S.SetupVariable, 1, 0x21, 0x01);
  S.SetupVariable->resize(30);
  S.Faults.StaleBuffer.assign(67, 0x00);
  auto R = HostPass(S);
  int Reruns = 0;
  auto Rerun = [&](const board::Scenario& Again) {
    ++Reruns;
    for (size_t I : {3, 4, 5, 8, 10, 15, 16, 17, 20, 22, 27, 28, 29}) {
      EXPECT_EQ((*Again.SetupVariable)[I], (*S.SetupVariable)[I]) << I;
    }
    if (Reruns == 1) {
      for (size_t I : {0, 1, 2, 6, 7, 9, 11, 12, 26}) {
        EXPECT_NE((*Again.SetupVariable)[I], (*S.SetupVariable)[I]) << I;
      }
      for (size_t I : {30, 32, 39, 40, 60, 66}) {
        EXPECT_NE(Again.Faults.StaleBuffer[I], S.Faults.StaleBuffer[I]) << I;
      }
    } else {
      EXPECT_EQ(Again.Faults.StaleBuffer[39], 0x12); // entry 3 made to match
      EXPECT_EQ(Again.Faults.StaleBuffer[41], 0x01);
    }
    return HostPass(Again);
  };
  EXPECT_EQ(invariants::CheckPass(S, R, Rerun), std::vector<std::string>{});
  EXPECT_EQ(Reruns, 2);
}

TEST(PassInvariants, InfluenceOfAByteOutsideTheDataIsReported) {
  // A module that would act on the variable's trailing bytes (offset 63):
  // its rerun differs as soon as that byte changes.
  board::Scenario S = board::DefaultScenario();
  auto R = HostPass(S);
  auto ReadsTail = [&](const board::Scenario& Again) {
    auto Result = HostPass(Again);
    if ((*Again.SetupVariable)[63] != (*S.SetupVariable)[63])
      Result.Events[4].Value ^= 1;
    return Result;
  };
  auto Violations = invariants::CheckPass(S, R, ReadsTail);
  ASSERT_EQ(Violations.size(), 2u) << Joined(Violations);
  EXPECT_NE(Violations[0].find("steer the pass (flipped): event 4"), std::string::npos)
      << Violations[0];
}

TEST(PassInvariants, ReturnedDataFollowsWhatTheProducerWroteAndClaimed) {
  std::vector<uint8_t> Variable(40, 0x11);
  std::vector<uint8_t> Stale(67, 0x22);
  struct Case {
    const char* Name;
    std::optional<uint32_t> Claim, Status;
    size_t Size;
    std::optional<uint8_t> Byte39, Byte45; // bytes 39 and 45 of the returned data
  } Cases[] = {
      {"as written", std::nullopt, std::nullopt, 40, 0x11, std::nullopt},
      {"claim shorter", 30, std::nullopt, 30, std::nullopt, std::nullopt},
      {"claim longer, inside the buffer", 50, std::nullopt, 50, 0x11, 0x22},
      {"claim beyond the buffer", 4096, std::nullopt, 40, 0x11, std::nullopt},
      {"warning status, nothing copied", std::nullopt, 0x00000004, 67, 0x22, 0x22},
      {"error status", std::nullopt, pi::kEfiNotFound, 0, std::nullopt, std::nullopt},
  };
  for (const auto& C : Cases) {
    board::Scenario S = board::DefaultScenario();
    S.SetupVariable = Variable;
    S.Faults.StaleBuffer = Stale;
    S.Faults.GetVariableReportedSize = C.Claim;
    S.Faults.GetVariableStatus = C.Status;
    auto R = HostPass(S);
    auto Returned = invariants::ReturnedData(S, R.Events);
    EXPECT_EQ(Returned.Size, C.Size) << C.Name;
    auto ByteAt = [&](size_t I) { return I < Returned.Size ? Returned.Bytes[I] : std::nullopt; };
    EXPECT_EQ(ByteAt(39), C.Byte39) << C.Name;
    EXPECT_EQ(ByteAt(45), C.Byte45) << C.Name;
  }
}

} // namespace
