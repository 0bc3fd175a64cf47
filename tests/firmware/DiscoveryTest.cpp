// SPDX-License-Identifier: BSD-2-Clause-Patent
// Discovery as the pass runs it (SioFindBoardConfigPort) over the default
// board record and hand-made ones, and its walk (SioFindConfigPort) over
// hand-made tables: which ports are probed, in which order, and what is
// returned.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "entry/SioBoardConfig.h"
#include "sio/SioDeviceTable.h"
#include "sio/SioDiscovery.h"
#include "tests/support/Harness.h"
#include "tests/support/TraceBuilder.h"

namespace {

using test::Harness;
using test::TraceBuilder;

struct TableCase {
  const char* Name;
  board::Scenario Board;
  uint16_t Found;
  TraceBuilder Expected;
};

TEST(Discovery, BuiltInTableProbesFirstPortThenEveryCandidate) {
  const TableCase Cases[] = {
      {"chip at 0x4E answers first", test::ChipAt(0x4E), 0x4E, TraceBuilder().ProbeMatch(0x4E)},
      {"chip at 0x2E", test::ChipAt(0x2E), 0x2E, TraceBuilder().ProbeMiss(0x4E).ProbeMatch(0x2E)},
      {"chip at 0x162E", test::ChipAt(0x162E), 0x162E,
       TraceBuilder().ProbeMiss(0x4E).ProbeMiss(0x2E).ProbeMiss(0x4E).ProbeMatch(0x162E)},
      {"chip at 0x164E", test::ChipAt(0x164E), 0x164E,
       TraceBuilder().ProbeMiss(0x4E).ProbeMiss(0x2E).ProbeMiss(0x4E).ProbeMiss(0x162E).ProbeMatch(
           0x164E)},
      {"no chip", test::ChipAt(std::nullopt), 0,
       TraceBuilder().ProbeMiss(0x4E).ProbeMiss(0x2E).ProbeMiss(0x4E).ProbeMiss(0x162E).ProbeMiss(
           0x164E)},
      {"chip at an unlisted port", test::ChipAt(0x3F0), 0,
       TraceBuilder().ProbeMiss(0x4E).ProbeMiss(0x2E).ProbeMiss(0x4E).ProbeMiss(0x162E).ProbeMiss(
           0x164E)},
      {"second ID byte wrong: go on", test::ChipAt(0x4E, 0x02, 0x17), 0,
       TraceBuilder()
           .EnterConfig(0x4E)
           .ReadReg(0x4E, 0x20, 0x02)
           .ReadReg(0x4E, 0x21, 0x17)
           .ProbeMiss(0x2E)
           .EnterConfig(0x4E)
           .ReadReg(0x4E, 0x20, 0x02)
           .ReadReg(0x4E, 0x21, 0x17)
           .ProbeMiss(0x162E)
           .ProbeMiss(0x164E)},
      {"first ID byte wrong: 0x21 never selected", test::ChipAt(0x2E, 0x03, 0x16), 0,
       TraceBuilder()
           .ProbeMiss(0x4E)
           .ProbeMiss(0x2E, 0x03)
           .ProbeMiss(0x4E)
           .ProbeMiss(0x162E)
           .ProbeMiss(0x164E)},
  };
  for (const auto& C : Cases) {
    Harness H(C.Board);
    EXPECT_EQ(SioFindBoardConfigPort(&SioBoardConfigDefaults), C.Found) << C.Name;
    EXPECT_EQ(H.Events(), C.Expected.Events()) << C.Name << "\n" << test::Dump(H.Events());
  }
}

SioDeviceEntry Entry(uint8_t High, uint8_t Low, uint8_t Kind, uint16_t IoBase) {
  return {High, Low, 0, Kind, 0, 0, IoBase, {0, 0, 0, 0}};
}
constexpr SioDeviceEntry kEnd = {};

// A board record probing Ports (its ProbePorts, the first port then the
// candidates), every other value the default.
SioBoardConfig Probing(const std::array<uint16_t, 1 + SioCandidatePortCount>& Ports) {
  SioBoardConfig Board = SioBoardConfigDefaults;
  for (size_t I = 0; I < Ports.size(); ++I)
    Board.ProbePorts[I] = Ports[I];
  return Board;
}

TEST(Discovery, HandMadeTables) {
  const SioBoardConfig Defaults = SioBoardConfigDefaults;
  struct Case {
    const char* Name;
    std::vector<SioDeviceEntry> Table;
    SioBoardConfig Record;
    board::Scenario Board;
    uint16_t Found;
    TraceBuilder Expected;
  } Cases[] = {
      {"no config entry: no access",
       {Entry(0x02, 0x16, 0x01, 0x4E), Entry(0x02, 0x16, 0x12, 0), kEnd},
       Defaults,
       test::ChipAt(0x4E),
       0,
       TraceBuilder()},
      {"empty table", {kEnd}, Defaults, test::ChipAt(0x4E), 0, TraceBuilder()},
      {"first port 0: candidates only",
       {Entry(0x02, 0x16, 0x7F, 0x4E), kEnd},
       Probing({0, 0x2E, 0x4E, 0x162E, 0x164E}),
       test::ChipAt(0x4E),
       0x4E,
       TraceBuilder().ProbeMiss(0x2E).ProbeMatch(0x4E)},
      {"candidates 0 are skipped",
       {Entry(0x02, 0x16, 0x7F, 0x4E), kEnd},
       Probing({0x4E, 0, 0, 0x162E, 0}),
       test::ChipAt(0x162E),
       0x162E,
       TraceBuilder().ProbeMiss(0x4E).ProbeMatch(0x162E)},
      {"every port 0: no access",
       {Entry(0x02, 0x16, 0x7F, 0x4E), kEnd},
       Probing({0, 0, 0, 0, 0}),
       test::ChipAt(0x4E),
       0,
       TraceBuilder()},
      {"the record's ports are probed, not the entry's IoBase",
       {Entry(0x02, 0x16, 0x7F, 0x2E), kEnd},
       Probing({0x4E, 0x164E, 0, 0, 0}),
       test::ChipAt(0x2E),
       0,
       TraceBuilder().ProbeMiss(0x4E).ProbeMiss(0x164E)},
      {"ChipIdLow 0 matches on 0x20 alone",
       {Entry(0x02, 0x00, 0x7F, 0x164E), kEnd},
       Probing({0x164E, 0x2E, 0x4E, 0x162E, 0x164E}),
       test::ChipAt(0x164E, 0x02, 0x99),
       0x164E,
       TraceBuilder().EnterConfig(0x164E).ReadReg(0x164E, 0x20, 0x02)},
      {"ChipIdHigh 0 alone does not end the table",
       {Entry(0x00, 0x16, 0x01, 0), Entry(0x02, 0x16, 0x7F, 0x2E), kEnd},
       Probing({0x2E, 0x2E, 0x4E, 0x162E, 0x164E}),
       test::ChipAt(0x2E),
       0x2E,
       TraceBuilder().ProbeMatch(0x2E)},
      {"entries after the terminator are never visited",
       {kEnd, Entry(0x02, 0x16, 0x7F, 0x2E)},
       Defaults,
       test::ChipAt(0x2E),
       0,
       TraceBuilder()},
      {"second config entry probed after the first yields 0",
       {Entry(0x05, 0x00, 0x7F, 0x4E), Entry(0x02, 0x16, 0x7F, 0x164E), kEnd},
       Defaults,
       test::ChipAt(0x162E),
       0x162E,
       TraceBuilder()
           .ProbeMiss(0x4E)
           .ProbeMiss(0x2E)
           .ProbeMiss(0x4E)
           .ProbeMiss(0x162E, 0x02)
           .ProbeMiss(0x164E)
           .ProbeMiss(0x4E)
           .ProbeMiss(0x2E)
           .ProbeMiss(0x4E)
           .ProbeMatch(0x162E)},
  };
  for (auto& C : Cases) {
    Harness H(C.Board);
    EXPECT_EQ(SioFindConfigPort(C.Table.data(), &C.Record), C.Found) << C.Name;
    EXPECT_EQ(H.Events(), C.Expected.Events()) << C.Name << "\n" << test::Dump(H.Events());
  }
}

TEST(Discovery, ProbeLeavesAnsweringChipInConfigurationMode) {
  Harness H(test::ChipAt(0x2E));
  const SioBoardConfig Record = Probing({0, 0x2E, 0x4E, 0x162E, 0x164E});
  EXPECT_EQ(SioFindBoardConfigPort(&Record), 0x2E);
  EXPECT_TRUE(H.Board().Chip()->InConfigMode());
}

} // namespace
