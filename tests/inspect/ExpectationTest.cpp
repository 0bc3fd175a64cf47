// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/Expectation.h"

#include <gtest/gtest.h>

#include "InspectFixture.h"
#include "board/ScenarioCatalog.h"
#include "inspect/ChipReader.h"
#include "inspect/Comparison.h"
#include "inspect/InspectReport.h"

namespace inspect {
std::ostream& operator<<(std::ostream& Out, const Expected& E) {
  return Out << "{value " << int(E.Value) << ", mask " << int(E.Mask) << "}";
}
} // namespace inspect

namespace inspect::test {
namespace {

const RegisterKey kLd8Active{8, 0x30}, kLd8Mode{8, 0xF0}, kLd8Value{8, 0xF1};

Expected Want(const Expectation& E, const RegisterKey& Key) {
  auto Found = E.Registers.find(Key);
  return Found == E.Registers.end() ? Expected{0, 0} : Found->second;
}

LiveVariable Live(std::optional<std::vector<uint8_t>> Content) {
  LiveVariable V;
  V.Path = "test";
  V.Present = Content.has_value();
  V.Attributes = 7;
  if (Content)
    V.Content = *Content;
  return V;
}

std::vector<uint8_t> Ld8Entries(std::initializer_list<std::array<uint8_t, 3>> Entries,
                                size_t Size = 67) {
  auto Data = board::EmptySetupData();
  for (const auto& [Index, Param0, Param2] : Entries)
    board::SetLd8Entry(Data, Index, Param0, Param2);
  Data.resize(Size);
  return Data;
}

TEST(Expectation, FromTheLiveVariableKnowsOnlyWhatThePassDecides) {
  struct Case {
    const char* Name;
    std::optional<std::vector<uint8_t>> Variable;
    Expected Active, Mode, Value;
  };
  const Expected None{0, 0};
  const Case Cases[] = {
      {"absent", std::nullopt, None, None, None},
      {"one entry, Param[2] 0", Ld8Entries({{2, 0x5A, 0}}), {1, 0xFF}, {0, 0x04}, {0x5A, 0xFF}},
      // Entry 1 lies inside 30 bytes, entry 2 is cut off and passed over.
      {"short", Ld8Entries({{1, 0x21, 1}, {2, 0x22, 0}}, 30), {1, 0xFF}, {0, 0x02}, {0x21, 0xFF}},
      // Both entries applied in order: the clearings add up, the last value stays.
      {"two entries", Ld8Entries({{1, 0x11, 0}, {3, 0x33, 1}}), {1, 0xFF}, {0, 0x06}, {0x33, 0xFF}},
      {"Param[2] 2", Ld8Entries({{0, 0x44, 2}}), {1, 0xFF}, {0, 0x06}, {0x44, 0xFF}},
      {"longer than the module's buffer", Ld8Entries({{2, 0x5A, 0}}, 68), None, None, None},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto E = ExpectFromVariable(Live(C.Variable), false);
    ASSERT_TRUE(E) << E.Message();
    EXPECT_EQ(Want(*E, kLd8Active), C.Active);
    EXPECT_EQ(Want(*E, kLd8Mode), C.Mode);
    EXPECT_EQ(Want(*E, kLd8Value), C.Value);
    // The fixed script, whatever the variable; never the device select.
    EXPECT_EQ(Want(*E, {std::nullopt, 0x25}), (Expected{0x01, 0xFF}));
    EXPECT_EQ(Want(*E, {0, 0x61}), (Expected{0xE8, 0xFF}));
    EXPECT_EQ(Want(*E, {1, 0x30}), (Expected{0x00, 0xFF}));
    EXPECT_EQ(Want(*E, {std::nullopt, 0x07}), None);
    EXPECT_EQ(Want(*E, {0, 0xF0}), None); // not written by the pass
  }
}

TEST(Expectation, FromAScenarioTakesItsPresetsAsKnown) {
  // The default scenario says 0xF0 starts at 0xFF: all its bits are known.
  auto E = ExpectFromScenario(board::DefaultScenario(), false, "scenario default");
  ASSERT_TRUE(E) << E.Message();
  EXPECT_EQ(Want(*E, kLd8Mode), (Expected{0xFB, 0xFF}));
  EXPECT_EQ(Want(*E, kLd8Value), (Expected{0x5A, 0xFF}));

  auto NoChip = ExpectFromScenario(ChipAt(std::nullopt), false, "scenario no-chip");
  ASSERT_FALSE(NoChip);
  EXPECT_NE(NoChip.Message().find("scenario no-chip: after the module's pass on the board model: "
                                  "no chip found"),
            std::string::npos)
      << NoChip.Message();
}

TEST(Expectation, EveryNamedScenarioMatchesItsOwnBoard) {
  for (const auto& Named : board::ScenarioCatalog()) {
    SCOPED_TRACE(Named.Name);
    auto E = ExpectFromScenario(Named.Scenario, false, Named.Name);
    PassedBoard Board(Named.Scenario);
    auto Reading = InspectChip(Board.Ports, {});
    if (!E) {
      EXPECT_FALSE(Reading); // no chip to expect anything of, none to read
      continue;
    }
    ASSERT_TRUE(Reading) << Reading.Message();
    Comparison C = Compare(*Reading, &*E);
    EXPECT_FALSE(C.HasDifference());
    EXPECT_GT(C.Matched, 0u);
  }
}

TEST(Compare, MarksEachRegisterAndSaysWhyItDiffers) {
  PassedBoard Board(board::DefaultScenario());
  auto Expect = ExpectFromVariable(Live(Ld8Entries({{2, 0x5A, 0}})), false);
  ASSERT_TRUE(Expect);
  struct Case {
    const char* Name;
    RegisterKey Changed;
    uint8_t Value;
    size_t Differing;
  };
  const Case Cases[] = {
      {"as left by the pass", kLd8Value, 0x5A, 0},
      {"a bit the pass does not decide", kLd8Mode, 0xFA, 0},
      {"a bit the setup clears, set again", kLd8Mode, 0xFF, 1},
      {"another setting", kLd8Value, 0x33, 1},
      {"the script's I/O base", {0, 0x61}, 0xF8, 1},
      {"another device selected", {std::nullopt, 0x07}, 0x03, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    PassedBoard Changed(board::DefaultScenario());
    Changed.Target().Chip()->SetRegister(C.Changed.Device.value_or(0), C.Changed.Reg, C.Value);
    auto Reading = InspectChip(Changed.Ports, {});
    ASSERT_TRUE(Reading);
    Comparison Result = Compare(*Reading, &*Expect);
    EXPECT_EQ(Result.Differing, C.Differing);
    EXPECT_EQ(Result.Matched + Result.Differing + Result.Unchecked, Reading->Values.size());
    for (const auto& Check : Result.Checks) {
      bool IsChanged = Check.Key == C.Changed;
      if (Check.Result == Mark::Differs) {
        EXPECT_TRUE(IsChanged);
        EXPECT_NE(Check.Reasons.find(C.Changed.Device == 8 ? "setup not applied"
                                                           : "did not program the chip"),
                  std::string::npos)
            << Check.Reasons;
      }
    }
  }
  // Nothing expected: every register read, none judged.
  auto Reading = InspectChip(Board.Ports, {});
  ASSERT_TRUE(Reading);
  Comparison Unjudged = Compare(*Reading, nullptr);
  EXPECT_EQ(Unjudged.Unchecked, Reading->Values.size());
}

// A board programmed by a patched image's pass: the expectation made with
// that image's values holds as strictly as the built-in one on its own
// board; the built-in expectation finds the UART's base and interrupt
// changed, and says so by register.
TEST(Expectation, FollowsThePatchedImagesBoardValues) {
  const chip::BoardValues Patched = Uart2F8();
  const board::Scenario Scenario = board::DefaultScenario();
  PassedBoard Board(Scenario, Patched);

  auto Own = ExpectFromScenario(Scenario, false, "scenario default", Patched);
  ASSERT_TRUE(Own) << Own.Message();
  auto OwnReading = InspectChip(Board.Ports, {std::nullopt, false, Patched});
  ASSERT_TRUE(OwnReading) << OwnReading.Message();
  Comparison Holds = Compare(*OwnReading, &*Own);
  EXPECT_FALSE(Holds.HasDifference());
  for (const RegisterKey& Key :
       {RegisterKey{0, 0x30}, {0, 0x60}, {0, 0x61}, {0, 0x70}, {std::nullopt, 0x25}})
    EXPECT_EQ(Want(*Own, Key).Mask, 0xFF) << "a written register is checked whole";
  EXPECT_EQ(Want(*Own, {0, 0x60}).Value, 0x02);
  EXPECT_EQ(Want(*Own, {0, 0x61}).Value, 0xF8);
  EXPECT_EQ(Want(*Own, {0, 0x70}).Value, 0x04);
  // Logical device 1 is not in the patched script: not read, not expected.
  EXPECT_EQ(Want(*Own, {1, 0x30}).Mask, 0);

  auto Default = ExpectFromScenario(Scenario, false, "scenario default");
  ASSERT_TRUE(Default);
  auto Reading = InspectChip(Board.Ports, {});
  ASSERT_TRUE(Reading) << Reading.Message();
  Comparison Differs = Compare(*Reading, &*Default);
  std::vector<RegisterKey> Differing;
  for (const RegisterCheck& Check : Differs.Checks)
    if (Check.Result == Mark::Differs && Check.Key.Device == 0)
      Differing.push_back(Check.Key);
  EXPECT_EQ(Differing, (std::vector<RegisterKey>{{0, 0x60}, {0, 0x61}, {0, 0x70}}));
  InspectReport Report{"the board model", *Reading, &*Default, Differs, false};
  std::string Text;
  for (const auto& Line : FormatInspectReport(Report))
    Text += Line + "\n";
  EXPECT_NE(Text.find("0x60 = 0x02  DIFF"), std::string::npos) << Text;
  EXPECT_NE(Text.find("expected 0x03, read 0x02"), std::string::npos) << Text;
  EXPECT_NE(Text.find("0x70 = 0x04  DIFF"), std::string::npos) << Text;
}

// The live variable's board puts the chip where the image's discovery looks
// first, so an image probing 0x2E only still has a chip to expect of.
TEST(Expectation, FromTheLiveVariableWithAnImageProbingOnePort) {
  const chip::BoardValues Only2E = ProbingOnly({0x2E});
  EXPECT_EQ(LiveScenario(Live(std::nullopt), Only2E).ChipPort, 0x2E);
  auto E = ExpectFromVariable(Live(Ld8Entries({{2, 0x5A, 0}})), false, Only2E);
  ASSERT_TRUE(E) << E.Message();
  EXPECT_EQ(Want(*E, kLd8Value), (Expected{0x5A, 0xFF}));
  EXPECT_EQ(Want(*E, {0, 0x61}), (Expected{0xE8, 0xFF}));
}

} // namespace
} // namespace inspect::test
