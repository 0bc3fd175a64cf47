// SPDX-License-Identifier: BSD-2-Clause-Patent
// The pass comparison finds every kind of difference between two runs and
// stays silent for identical ones.
#include <gtest/gtest.h>

#include <sstream>

#include "tool/Engine.h"
#include "tool/PassDiff.h"

namespace {

using siotool::EngineKind;
using siotool::EngineRun;

EngineRun HostRun() {
  return siotool::RunPass(EngineKind::Host, board::DefaultScenario(), "");
}

TEST(PassDiff, IdenticalPassesHaveNoDifference) {
  EXPECT_TRUE(siotool::DiffPasses(HostRun(), HostRun()).empty());
}

TEST(PassDiff, EachKindOfDifferenceIsReported) {
  struct Case {
    const char* Name;
    void (*Change)(EngineRun&);
    const char* FirstLine;
  };
  const Case Cases[] = {
      {"status", [](EngineRun& R) { R.Result.Status = 0x80000003; },
       "status: host (1) EFI_SUCCESS, host (2) EFI_UNSUPPORTED"},
      {"one access", [](EngineRun& R) { R.Result.Events[45].Value = 0xF9; }, "trace event 45:"},
      {"shorter trace", [](EngineRun& R) { R.Result.Events.pop_back(); }, "trace event 51:"},
      {"fault", [](EngineRun& R) { R.Completed = false, R.Fault = "runaway"; },
       "run: host (1) completed; host (2) faulted: runaway"},
      {"register", [](EngineRun& R) { R.Result.Chip->Devices[8][0xF1] = 0; },
       "LD8 register 0xF1: host (1) 0x5A, host (2) 0x00"},
      {"global register", [](EngineRun& R) { R.Result.Chip->Global[0x25] = 0; },
       "global register 0x25: host (1) 0x01, host (2) 0x00"},
      {"device", [](EngineRun& R) { R.Result.Chip->Devices.erase(1); },
       "LD1 touched by host (1) only"},
      {"PPIs", [](EngineRun& R) { R.Result.Ppis.clear(); },
       "installed PPIs: host (1) 1, host (2) 0"},
      {"bridge", [](EngineRun& R) { R.Result.LpcBridgeDecode[2] = 0; }, "LPC bridge registers"},
      {"POST", [](EngineRun& R) { R.Result.PostCodes.push_back(1); }, "POST codes differ"},
  };
  for (const auto& C : Cases) {
    EngineRun Changed = HostRun();
    C.Change(Changed);
    auto Lines = siotool::DiffPasses(HostRun(), Changed);
    ASSERT_FALSE(Lines.empty()) << C.Name;
    EXPECT_EQ(Lines[0].rfind(C.FirstLine, 0), 0u) << C.Name << ": " << Lines[0];
  }
}

TEST(PassDiff, ShowsBothSidesOfADifferentAccessAndCapsTheList) {
  EngineRun Changed = HostRun();
  Changed.Result.Events[45].Value = 0xF9;
  auto Lines = siotool::DiffPasses(HostRun(), Changed);
  ASSERT_GE(Lines.size(), 3u);
  EXPECT_NE(Lines[1].find("out8 0x004F <- 0xFB"), std::string::npos) << Lines[1];
  EXPECT_NE(Lines[2].find("out8 0x004F <- 0xF9"), std::string::npos) << Lines[2];

  EngineRun AllDifferent = HostRun();
  for (auto& E : AllDifferent.Result.Events)
    E.Value ^= 1;
  auto Capped = siotool::DiffPasses(HostRun(), AllDifferent, 6);
  ASSERT_EQ(Capped.size(), 7u);
  EXPECT_EQ(Capped.back().rfind("... and ", 0), 0u);
}

// `sio diff`'s two printers show the one report: the same verdict, count and
// differences.
TEST(PassDiff, TextAndJsonShowTheSameReport) {
  EngineRun Changed = HostRun();
  Changed.Result.Events[45].Value = 0xF9;
  for (const EngineRun& Other : {HostRun(), Changed}) {
    const auto Report = siotool::MakeDiffReport(HostRun(), Other);
    std::ostringstream Text;
    siotool::PrintDiffReport(Text, Report);
    const siotool::Json Doc = siotool::DiffReportToJson(Report);
    EXPECT_EQ(Doc["identical"], Report.Identical());
    EXPECT_EQ(Doc["events"], HostRun().Result.Events.size());
    std::string Lines;
    for (const auto& Line : Doc["differences"])
      Lines += Line.get<std::string>() + "\n";
    EXPECT_EQ(Text.str(),
              Report.Identical()
                  ? "identical (" + std::to_string(Doc["events"].get<size_t>()) + " events)\n"
                  : Lines);
  }
  EXPECT_FALSE(siotool::MakeDiffReport(HostRun(), Changed).Identical());
}

} // namespace
