// SPDX-License-Identifier: BSD-2-Clause-Patent
// Every named scenario run on the host build and on each image (IA-32 and
// X64) in the emulator, at its flash address and relocated: the same trace
// (service-call details included), PPIs, chip and bridge state, POST codes
// and status.
#include <gtest/gtest.h>

#include <cstdio>

#include "board/ScenarioCatalog.h"
#include "emulator/ImageEngine.h"
#include "engine/HostEngine.h"
#include "tests/support/ImageFixture.h"
#include "tests/support/TraceBuilder.h"

namespace {

std::string ToHex(uint32_t Value) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "%08X", Value);
  return Text;
}

void ExpectSamePass(const board::PassResult& Host, const board::PassResult& Image) {
  EXPECT_EQ(Image.Status, Host.Status);
  EXPECT_EQ(Image.Events, Host.Events) << "host:\n"
                                       << test::Dump(Host.Events) << "image:\n"
                                       << test::Dump(Image.Events);
  EXPECT_EQ(Image.Ppis, Host.Ppis);
  EXPECT_EQ(Image.Chip, Host.Chip);
  EXPECT_EQ(Image.LpcBridgeDecode, Host.LpcBridgeDecode);
  EXPECT_EQ(Image.PostCodes, Host.PostCodes);
}

class Differential : public ::testing::TestWithParam<emulator::ProcessorMode> {};
INSTANTIATE_TEST_SUITE_P(BothImages, Differential, ::testing::ValuesIn(test::kBuiltModes),
                         test::ModeTestName);

TEST_P(Differential, EveryScenarioRunsAlikeOnTheHostAndOnTheImage) {
  const std::optional<uint32_t> Placements[] = {std::nullopt, 0x00200000u, 0x7FFF0000u};
  ASSERT_GE(board::ScenarioCatalog().size(), 8u);
  for (const auto& S : board::ScenarioCatalog()) {
    board::PassResult Host = engine::RunHostPass(S.Scenario);
    for (auto Placement : Placements) {
      SCOPED_TRACE(S.Name + (Placement ? " relocated to 0x" + ToHex(*Placement)
                                       : std::string(" at the flash address")));
      emulator::ImageRunReport Run =
          emulator::RunImagePass(test::BuiltImage(GetParam()), S.Scenario, {Placement});
      ASSERT_TRUE(Run.Completed) << Run.Fault;
      EXPECT_EQ(Run.Mode, GetParam());
      EXPECT_EQ(Run.LoadAddress, Placement.value_or(test::kImageBase));
      ExpectSamePass(Host, Run.Result);
    }
  }
}

} // namespace
