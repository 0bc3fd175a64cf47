// SPDX-License-Identifier: BSD-2-Clause-Patent
// One emulator engine reused pass after pass gives what a new engine gives
// each time, for the IA-32 image and the X64 one: same status, trace, chip,
// PPIs, instructions and stack, in any order of scenarios, faulted runs
// included.
#include "bench/ProcessFigures.h"
#include "board/ScenarioCatalog.h"
#include "common/BuildPaths.h"
#include "emulator/ImageEngine.h"
#include "pe/ImageFile.h"
#include "tests/support/ImageFixture.h"
#include <gtest/gtest.h>

namespace {

void ExpectSameRun(const emulator::ImageRunReport& Fresh, const emulator::ImageRunReport& Reused,
                   const std::string& Name) {
  EXPECT_EQ(Reused.Completed, Fresh.Completed) << Name;
  EXPECT_EQ(Reused.Fault, Fresh.Fault) << Name;
  EXPECT_EQ(Reused.Instructions, Fresh.Instructions) << Name;
  EXPECT_EQ(Reused.StackHighWater, Fresh.StackHighWater) << Name;
  EXPECT_EQ(Reused.LoadAddress, Fresh.LoadAddress) << Name;
  EXPECT_EQ(Reused.Result.Status, Fresh.Result.Status) << Name;
  EXPECT_EQ(Reused.Result.Events, Fresh.Result.Events) << Name;
  EXPECT_EQ(Reused.Result.Chip, Fresh.Result.Chip) << Name;
  EXPECT_EQ(Reused.Result.Ppis, Fresh.Result.Ppis) << Name;
  EXPECT_EQ(Reused.Result.PostCodes, Fresh.Result.PostCodes) << Name;
}

class ImageEngineReuse : public ::testing::TestWithParam<emulator::ProcessorMode> {
protected:
  const std::vector<uint8_t>* Image = &test::BuiltImage(GetParam());
};
INSTANTIATE_TEST_SUITE_P(BothImages, ImageEngineReuse, ::testing::ValuesIn(test::kBuiltModes),
                         test::ModeTestName);

TEST_P(ImageEngineReuse, EveryCatalogScenarioForwardsAndBackwardsMatchesANewEngine) {
  const auto Catalog = board::ScenarioCatalog();
  ASSERT_GT(Catalog.size(), 4u);
  // A relocated image too: the engine keeps its load address across passes.
  for (std::optional<uint32_t> Load :
       {std::optional<uint32_t>(), std::optional<uint32_t>(0x00400000)}) {
    emulator::ImageRunOptions Options;
    Options.LoadAddress = Load;
    Options.TimeoutMicroseconds = 0;
    Options.Rehearse = false; // the shipped image: nothing for a rehearsal to catch
    emulator::ImageEngine Engine(*Image, Options);
    ASSERT_TRUE(Engine.Ready()) << Engine.Error();
    for (int Round = 0; Round < 2; ++Round) {
      for (size_t I = 0; I < Catalog.size(); ++I) {
        const auto& S = Catalog[Round == 0 ? I : Catalog.size() - 1 - I];
        ExpectSameRun(emulator::RunImagePass(*Image, S.Scenario, Options), Engine.Run(S.Scenario),
                      S.Name);
      }
    }
  }
}

// Passes on one engine keep nothing: after the first round has translated
// the image's code, thousands more passes leave the resident memory where it
// was (an engine that translated anything anew each pass, such as an exit
// block per start, grew by about 0.3 KiB a pass: 6 MiB here). Sanitizer
// builds keep freed memory in quarantine and are not measured.
TEST_P(ImageEngineReuse, ManyPassesKeepMemoryFlat) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer keeps freed memory";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "AddressSanitizer keeps freed memory";
#endif
#endif
  emulator::ImageRunOptions Options;
  Options.TimeoutMicroseconds = 0;
  emulator::ImageEngine Engine(*Image, Options);
  ASSERT_TRUE(Engine.Ready()) << Engine.Error();
  const auto Catalog = board::ScenarioCatalog();
  auto Round = [&](size_t Passes) {
    for (size_t I = 0; I < Passes; ++I)
      ASSERT_TRUE(Engine.Run(Catalog[I % Catalog.size()].Scenario).Completed);
  };
  Round(2000);
  long Before = bench::ResidentKib();
  Round(20000);
  long Grown = bench::ResidentKib() - Before;
  EXPECT_LT(Grown, 1024) << "KiB grown over 20000 passes";
}

TEST_P(ImageEngineReuse, ARunawayPassLeavesNothingBehind) {
  const auto* Default = board::FindScenario("default");
  ASSERT_TRUE(Default);
  emulator::ImageRunOptions Short;
  Short.MaxInstructions = 50; // stops the pass in the middle of its probes
  Short.TimeoutMicroseconds = 0;
  Short.Rehearse = false;
  emulator::ImageEngine Engine(*Image, Short);
  auto Stopped = Engine.Run(Default->Scenario);
  EXPECT_FALSE(Stopped.Completed);
  EXPECT_NE(Stopped.Fault.find("runaway"), std::string::npos) << Stopped.Fault;
  ExpectSameRun(emulator::RunImagePass(*Image, Default->Scenario, Short),
                Engine.Run(Default->Scenario), "after a runaway");
}

TEST(ImageEngineUnloaded, AnImageThatDoesNotLoadFaultsEveryPass) {
  std::vector<uint8_t> NotAnImage(64, 0);
  emulator::ImageEngine Engine(NotAnImage);
  EXPECT_FALSE(Engine.Ready());
  for (int I = 0; I < 2; ++I) {
    auto Report = Engine.Run(board::DefaultScenario());
    EXPECT_FALSE(Report.Completed);
    EXPECT_EQ(Report.Fault, Engine.Error());
    EXPECT_EQ(Report.Result.Status, emulator::kAbortedStatus);
    EXPECT_TRUE(Report.Result.Events.empty());
  }
}

} // namespace
