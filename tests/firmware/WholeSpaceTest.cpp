// SPDX-License-Identifier: BSD-2-Clause-Patent
// Whole input spaces, pass by pass: every entry shape that matters at every
// entry position, every Param[2] against several register 0xF0 values, every
// returned size, every chip placement with every kind of ID answer. Each pass
// is held to the invariants (with the influence reruns) and to its exact
// expected trace.
#include <gtest/gtest.h>

#include "chip/SetupLayout.h"
#include "engine/HostEngine.h"
#include "invariants/PassInvariants.h"
#include "pi/Status.h"
#include "tests/support/Harness.h"
#include "tests/support/TraceBuilder.h"

namespace {

using test::TraceBuilder;

board::PassResult HostPass(const board::Scenario& S) {
  return engine::RunHostPass(S);
}

// Runs S and reports every broken invariant under Label.
board::PassResult CheckedPass(const board::Scenario& S, const std::string& Label) {
  board::PassResult R = HostPass(S);
  for (const auto& V : invariants::CheckPass(S, R, HostPass))
    ADD_FAILURE() << Label << ": " << V;
  return R;
}

// A chip at 0x4E found on the first probe, then configured.
TraceBuilder ConfiguredAt4E() {
  TraceBuilder T;
  T.EarlyWrites().ProbeMatch(0x4E).EnterConfig(0x4E).InitScript(0x4E);
  return T;
}

board::Scenario Ld8Board(std::vector<uint8_t> Variable, uint8_t Mode = 0xFF) {
  board::Scenario S = test::ChipAt(0x4E);
  S.SetupVariable = std::move(Variable);
  S.Registers.push_back({0x08, 0xF0, Mode});
  // Old stack bytes under the buffer that would match, were they read.
  S.Faults.StaleBuffer = board::EmptySetupData();
  for (size_t K = 0; K < 5; ++K)
    board::SetLd8Entry(S.Faults.StaleBuffer, K, 0xEE, 0x00);
  return S;
}

TEST(WholeSpace, EveryEntryShapeAtEveryPosition) {
  const uint8_t Kinds[] = {0x00, 0x01, 0x11, 0x12, 0x13, 0x7F, 0xFF};
  const uint8_t Qualifiers[] = {0x00, 0x01, 0xFF};
  const uint8_t Enableds[] = {0x00, 0x01, 0x02, 0xFF};
  for (size_t K = 0; K < 5; ++K) {
    for (uint8_t Kind : Kinds) {
      for (uint8_t Qualifier : Qualifiers) {
        for (uint8_t Enabled : Enableds) {
          auto Data = board::EmptySetupData();
          uint8_t* Entry = Data.data() + 12 * K;
          Entry[3] = Kind;
          Entry[4] = Qualifier;
          Entry[5] = Enabled;
          Entry[8] = uint8_t(0x40 + K);
          std::string Label = "entry " + std::to_string(K) + " kind " + std::to_string(Kind) +
                              " qualifier " + std::to_string(Qualifier) + " enabled " +
                              std::to_string(Enabled);
          auto R = CheckedPass(Ld8Board(Data), Label);
          TraceBuilder Expected = ConfiguredAt4E();
          if (Kind == 0x12 && Qualifier == 0x00 && Enabled == 0x01) {
            Expected.Ld8Entry(0x4E, 0xFF, 0xFB, uint8_t(0x40 + K));
          }
          Expected.ExitConfig(0x4E);
          EXPECT_EQ(test::PortAccesses(R.Events), Expected.Events()) << Label;
          EXPECT_EQ(R.Status, pi::kEfiSuccess) << Label;
        }
      }
    }
  }
}

TEST(WholeSpace, EveryParam2AgainstRegisterF0) {
  for (uint8_t Before : {0x00, 0xFF, 0x5E}) {
    for (int Param2 = 0; Param2 < 256; ++Param2) {
      auto Data = board::EmptySetupData();
      board::SetLd8Entry(Data, 1, 0x3C, uint8_t(Param2));
      std::string Label = "Param[2] " + std::to_string(Param2) + " on " + std::to_string(Before);
      auto R = CheckedPass(Ld8Board(Data, Before), Label);
      uint8_t Mask = Param2 == 0 ? 0xFB : Param2 == 1 ? 0xFD : 0xF9;
      auto After = uint8_t(Before & Mask);
      auto Expected = ConfiguredAt4E().Ld8Entry(0x4E, Before, After, 0x3C).ExitConfig(0x4E);
      EXPECT_EQ(test::PortAccesses(R.Events), Expected.Events()) << Label;
      EXPECT_EQ(R.Chip->Devices.at(8)[0xF0], After) << Label;
    }
  }
}

TEST(WholeSpace, EveryReturnedSize) {
  // All five entries match; a variable of Size bytes carries the entries it
  // covers up to their Param[2]. The same holds when the producer copies all
  // 67 bytes but says it returned Size.
  auto Full = board::EmptySetupData();
  for (size_t K = 0; K < 5; ++K)
    board::SetLd8Entry(Full, K, uint8_t(0x10 + K), 0x00);
  for (size_t Size = 0; Size <= chip::kSetupDataSize; ++Size) {
    board::Scenario Short = Ld8Board({Full.begin(), Full.begin() + Size});
    board::Scenario Claimed = Ld8Board(Full);
    Claimed.Faults.GetVariableReportedSize = uint32_t(Size);
    for (const auto* S : {&Short, &Claimed}) {
      std::string Label = (S == &Short ? "variable of " : "claim of ") + std::to_string(Size);
      auto R = CheckedPass(*S, Label);
      auto Expected = ConfiguredAt4E();
      uint8_t Mode = 0xFF;
      for (size_t K = 0; K < 5 && 12 * K + 11 <= Size; ++K) {
        Expected.Ld8Entry(0x4E, Mode, 0xFB, uint8_t(0x10 + K));
        Mode = 0xFB;
      }
      Expected.ExitConfig(0x4E);
      EXPECT_EQ(test::PortAccesses(R.Events), Expected.Events()) << Label;
    }
  }
}

TEST(WholeSpace, EveryChipPlacementWithEveryIdAnswer) {
  struct Id {
    const char* Name;
    uint8_t High, Low;
  } Ids[] = {{"right ID", 0x02, 0x16},
             {"wrong first byte", 0x03, 0x16},
             {"wrong second byte", 0x02, 0x17}};
  const std::optional<uint16_t> Placements[] = {0x2E, 0x4E, 0x162E, 0x164E, 0x3F0, std::nullopt};
  const uint16_t ProbeOrder[] = {0x4E, 0x2E, 0x4E, 0x162E, 0x164E};
  for (const auto& Place : Placements) {
    for (const auto& I : Ids) {
      std::string Label = (Place ? std::to_string(*Place) : std::string("absent")) + " " + I.Name;
      board::Scenario S = test::ChipAt(Place, I.High, I.Low);
      auto R = CheckedPass(S, Label);

      // Each probe reads register 0x20, and register 0x21 only after 0x02;
      // a port without the chip floats (0xFF).
      TraceBuilder Expected;
      Expected.EarlyWrites();
      std::optional<uint16_t> Found;
      for (uint16_t Q : ProbeOrder) {
        bool Here = Place == Q;
        uint8_t High = Here ? I.High : 0xFF, Low = Here ? I.Low : 0xFF;
        Expected.EnterConfig(Q).ReadReg(Q, 0x20, High);
        if (High != 0x02)
          continue;
        Expected.ReadReg(Q, 0x21, Low);
        if (Low == 0x16) {
          Found = Q;
          break;
        }
      }
      bool Answers = Place && *Place != 0x3F0 && I.High == 0x02 && I.Low == 0x16;
      ASSERT_EQ(Found.has_value(), Answers) << Label;
      if (Found)
        Expected.EnterConfig(*Found).InitScript(*Found).ExitConfig(*Found);
      EXPECT_EQ(test::PortAccesses(R.Events), Expected.Events()) << Label;
      EXPECT_EQ(R.Status, Answers ? pi::kEfiSuccess : pi::kEfiUnsupported) << Label;
      EXPECT_EQ(R.Ppis.size(), Answers ? 1u : 0u) << Label;
    }
  }
}

} // namespace
