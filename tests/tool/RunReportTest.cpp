// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio run`'s report: the text and the JSON printer show the same report,
// the board included, and the board line shows every field a scenario has.
#include <gtest/gtest.h>

#include <sstream>

#include "board/ScenarioCatalog.h"
#include "board/ScenarioFile.h"
#include "tool/RunReport.h"

namespace {

using siotool::Json;

std::string Text(const siotool::RunReport& Report) {
  std::ostringstream Out;
  siotool::PrintRunReport(Out, Report);
  return Out.str();
}

// Every fact of the JSON document appears in the text: the board, each
// event as decoded, each installed PPI, the status.
TEST(RunReport, TextAndJsonShowTheSameReport) {
  std::vector<board::Scenario> Boards;
  for (const auto& Named : board::ScenarioCatalog())
    Boards.push_back(Named.Scenario);
  board::Scenario Odd = board::DefaultScenario();
  Odd.ChipReadAnswers = {0x02, 0x16, 0x00};
  Odd.Faults.StaleBuffer.assign(67, 0xEE);
  Boards.push_back(Odd);
  for (const board::Scenario& Board : Boards) {
    const auto Report =
        siotool::MakeRunReport(siotool::RunPass(siotool::EngineKind::Host, Board, ""), Board);
    const std::string Shown = Text(Report);
    const Json Doc = siotool::RunReportToJson(Report);
    SCOPED_TRACE(siotool::BoardSummary(Board));
    // The text's board is the JSON's scenario.
    const auto Read = siotool::ParseScenario(Doc["scenario"]);
    ASSERT_TRUE(Read) << Read.Message();
    const board::Scenario& FromJson = *Read;
    EXPECT_EQ(FromJson, Board);
    EXPECT_NE(Shown.find("\nBoard: " + siotool::BoardSummary(FromJson) + "\n"), std::string::npos)
        << Shown;
    for (const Json& Event : Doc["trace"]) {
      const std::string Access = Event["text"].get<std::string>();
      const auto At = Shown.find("  " + Access);
      ASSERT_NE(At, std::string::npos) << Access;
      EXPECT_NE(Shown.find(Event["meaning"].get<std::string>(), At), std::string::npos) << Access;
    }
    for (const Json& Ppi : Doc["ppis"]) {
      EXPECT_NE(Shown.find(Ppi["guid"].get<std::string>() + " " + Ppi["name"].get<std::string>()),
                std::string::npos);
    }
    EXPECT_NE(Shown.find("Status: " + Doc["status"]["name"].get<std::string>() + "\n"),
              std::string::npos);
  }
}

// A board that differs from the default in any one field has a different
// board line: nothing a scenario holds is left out of the text.
TEST(RunReport, BoardLineShowsEveryField) {
  const std::pair<const char*, void (*)(board::Scenario&)> Changes[] = {
      {"no chip", [](board::Scenario& S) { S.ChipPort = std::nullopt; }},
      {"port", [](board::Scenario& S) { S.ChipPort = 0x2E; }},
      {"stand-in", [](board::Scenario& S) { S.Kind = board::ChipKind::MixerStandIn; }},
      {"chip id high", [](board::Scenario& S) { S.ChipIdHigh = 0x03; }},
      {"chip id low", [](board::Scenario& S) { S.ChipIdLow = 0x17; }},
      {"read answers", [](board::Scenario& S) { S.ChipReadAnswers = {0x5A}; }},
      {"one more preset",
       [](board::Scenario& S) {
         S.Registers.push_back({0, 0x27, 1});
       }},
      {"no variable", [](board::Scenario& S) { S.SetupVariable = std::nullopt; }},
      {"short variable", [](board::Scenario& S) { S.SetupVariable->resize(40); }},
      {"no variable PPI", [](board::Scenario& S) { S.Faults.NoVariablePpi = true; }},
      {"null PPI", [](board::Scenario& S) { S.Faults.LocateReturnsNullPpi = true; }},
      {"install status", [](board::Scenario& S) { S.Faults.InstallPpiStatus = 0x80000009; }},
      {"locate status", [](board::Scenario& S) { S.Faults.LocatePpiStatus = 0x8000000E; }},
      {"get status", [](board::Scenario& S) { S.Faults.GetVariableStatus = 0x8000001D; }},
      {"reported size", [](board::Scenario& S) { S.Faults.GetVariableReportedSize = 99; }},
      {"stale buffer", [](board::Scenario& S) { S.Faults.StaleBuffer.assign(67, 0xEE); }},
  };
  const std::string Default = siotool::BoardSummary(board::DefaultScenario());
  EXPECT_EQ(Default, "chip at 0x004E (ID 0x02 0x16), 1 register preset, setup variable of 67 "
                     "bytes, no faults");
  for (const auto& [Name, Change] : Changes) {
    board::Scenario S = board::DefaultScenario();
    Change(S);
    EXPECT_NE(siotool::BoardSummary(S), Default) << Name;
  }
}

} // namespace
