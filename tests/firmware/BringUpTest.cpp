// SPDX-License-Identifier: BSD-2-Clause-Patent
// Whole passes through the entry point, compared access for access and call
// for call with the story of the pass.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string_view>

#include "board/ScenarioCatalog.h"
#include "engine/HostEngine.h"
#include "entry/SioBoardConfig.h"
#include "entry/SioInitScript.h"
#include "pi/Status.h"
#include "tests/support/Harness.h"
#include "tests/support/TraceBuilder.h"

namespace {

using pi::EventKind;
using test::TraceBuilder;

// A scenario of the catalogue the image's differential tests also run.
board::Scenario Named(std::string_view Name) {
  const board::NamedScenario* Found = board::FindScenario(Name);
  if (Found == nullptr)
    throw std::out_of_range("no scenario " + std::string(Name));
  return Found->Scenario;
}

struct PassCase {
  const char* Name;
  board::Scenario Board;
  uint32_t Status;
  TraceBuilder Expected;
};

TEST(BringUp, WholePassTraces) {
  const PassCase Cases[] = {
      {"typical pass: chip at 0x4E, no variable", Named("chip-4e-no-variable"), pi::kEfiSuccess,
       TraceBuilder()
           .EarlyWrites()
           .ProbeMatch(0x4E)
           .EnterConfig(0x4E)
           .InitScript(0x4E)
           .Service(EventKind::LocatePpi, pi::kEfiSuccess)
           .Service(EventKind::GetVariable, pi::kEfiNotFound)
           .ExitConfig(0x4E)
           .Service(EventKind::InstallPpi, pi::kEfiSuccess)},
      {"chip at 0x164E", Named("chip-164e-no-variable"), pi::kEfiSuccess,
       TraceBuilder()
           .EarlyWrites()
           .ProbeMiss(0x4E)
           .ProbeMiss(0x2E)
           .ProbeMiss(0x4E)
           .ProbeMiss(0x162E)
           .ProbeMatch(0x164E)
           .EnterConfig(0x164E)
           .InitScript(0x164E)
           .Service(EventKind::LocatePpi, pi::kEfiSuccess)
           .Service(EventKind::GetVariable, pi::kEfiNotFound)
           .ExitConfig(0x164E)
           .Service(EventKind::InstallPpi, pi::kEfiSuccess)},
      {"no chip", Named("no-chip"), pi::kEfiUnsupported,
       TraceBuilder()
           .EarlyWrites()
           .ProbeMiss(0x4E)
           .ProbeMiss(0x2E)
           .ProbeMiss(0x4E)
           .ProbeMiss(0x162E)
           .ProbeMiss(0x164E)},
      {"one matching LD8 entry", Named("one-ld8-entry"), pi::kEfiSuccess,
       TraceBuilder()
           .EarlyWrites()
           .ProbeMatch(0x4E)
           .EnterConfig(0x4E)
           .InitScript(0x4E)
           .Service(EventKind::LocatePpi, pi::kEfiSuccess)
           .Service(EventKind::GetVariable, pi::kEfiSuccess)
           .Ld8Entry(0x4E, 0xFF, 0xFB, 0x5A)
           .ExitConfig(0x4E)
           .Service(EventKind::InstallPpi, pi::kEfiSuccess)},
      {"two matching LD8 entries", Named("two-ld8-entries"), pi::kEfiSuccess,
       TraceBuilder()
           .EarlyWrites()
           .ProbeMiss(0x4E)
           .ProbeMatch(0x2E)
           .EnterConfig(0x2E)
           .InitScript(0x2E)
           .Service(EventKind::LocatePpi, pi::kEfiSuccess)
           .Service(EventKind::GetVariable, pi::kEfiSuccess)
           .Ld8Entry(0x2E, 0xFF, 0xFB, 0x11)
           .Ld8Entry(0x2E, 0xFB, 0xFB, 0x33)
           .ExitConfig(0x2E)
           .Service(EventKind::InstallPpi, pi::kEfiSuccess)},
      {"settings fail (no variable PPI): still exits and installs", Named("no-variable-ppi"),
       pi::kEfiSuccess,
       TraceBuilder()
           .EarlyWrites()
           .ProbeMatch(0x4E)
           .EnterConfig(0x4E)
           .InitScript(0x4E)
           .Service(EventKind::LocatePpi, pi::kEfiNotFound)
           .ExitConfig(0x4E)
           .Service(EventKind::InstallPpi, pi::kEfiSuccess)},
      {"InstallPpi fails: its status is the module's", Named("install-ppi-fails"),
       pi::kEfiOutOfResources,
       TraceBuilder()
           .EarlyWrites()
           .ProbeMatch(0x4E)
           .EnterConfig(0x4E)
           .InitScript(0x4E)
           .Service(EventKind::LocatePpi, pi::kEfiSuccess)
           .Service(EventKind::GetVariable, pi::kEfiNotFound)
           .ExitConfig(0x4E)
           .Service(EventKind::InstallPpi, pi::kEfiOutOfResources)},
  };
  for (const auto& C : Cases) {
    board::PassResult R = engine::RunHostPass(C.Board);
    EXPECT_EQ(R.Status, C.Status) << C.Name;
    EXPECT_EQ(test::Skeleton(R.Events), C.Expected.Events()) << C.Name << "\n"
                                                             << test::Dump(R.Events);
  }
}

TEST(BringUp, DefaultScenarioProgramsTheChipAndInstallsTheReadyPpi) {
  board::PassResult R = engine::RunHostPass(Named("default"));
  ASSERT_EQ(R.Status, pi::kEfiSuccess);
  ASSERT_TRUE(R.Chip);
  const auto& Ld = R.Chip->Devices;
  EXPECT_FALSE(R.Chip->InConfigMode);
  EXPECT_EQ(R.Chip->Global[0x25], 0x01);
  EXPECT_EQ(R.Chip->Global[0x27], 0x10);
  EXPECT_EQ(Ld.at(0)[0x30], 0x01);
  EXPECT_EQ(Ld.at(0)[0x60] << 8 | Ld.at(0)[0x61], 0x03E8);
  EXPECT_EQ(Ld.at(0)[0x70], 0x03);
  EXPECT_EQ(Ld.at(1)[0x30], 0x00);
  EXPECT_EQ(Ld.at(8)[0x30], 0x01);
  EXPECT_EQ(Ld.at(8)[0xF0], 0xFB);
  EXPECT_EQ(Ld.at(8)[0xF1], 0x5A);
  ASSERT_EQ(R.Ppis.size(), 1u);
  EXPECT_EQ(R.Ppis[0].Guid, pi::kSioReadyPpiGuid);
  EXPECT_EQ(R.Ppis[0].Flags, 0x80000010u);
  EXPECT_FALSE(R.Ppis[0].HasInterface);
  EXPECT_EQ(R.PostCodes, std::vector<uint32_t>{0x70});
  EXPECT_EQ(R.LpcBridgeDecode, (std::array<uint8_t, 4>{0x17, 0x00, 0x0F, 0x3F}));
  int ExitKeys = 0;
  for (const auto& E : R.Events)
    ExitKeys += E.Kind == EventKind::IoWrite && E.Port == 0x4E && E.Value == 0xAA;
  EXPECT_EQ(ExitKeys, 1);
}

TEST(BringUp, ScriptStopsOnlyAtTheAllZeroPair) {
  // The end pair is the only all-zero pair, and it is last: nothing after it,
  // nothing zero before it that would end the script early.
  size_t Count = sizeof(SioInitScript) / sizeof(SioInitScript[0]);
  for (size_t I = 0; I + 1 < Count; ++I) {
    EXPECT_FALSE(SioInitScript[I].Register == 0 && SioInitScript[I].Value == 0) << I;
  }
  EXPECT_EQ(SioInitScript[Count - 1].Register, 0);
  EXPECT_EQ(SioInitScript[Count - 1].Value, 0);

  test::Harness H(test::ChipAt(std::nullopt));
  SioRunInitScript(0x4E, &SioBoardConfigDefaults);
  EXPECT_EQ(H.Events(), TraceBuilder().InitScript(0x4E).Events());
}

} // namespace
