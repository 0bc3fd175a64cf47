// SPDX-License-Identifier: BSD-2-Clause-Patent
// The waveform file is read back by GTKWave's own converters (vcd2fst, then
// fst2vcd), and the values they see are the trace's accesses, step by step.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/BuildPaths.h"
#include "tool/Engine.h"
#include "tool/VcdWriter.h"

namespace {

std::string RunCommand(const std::string& Command, int& Status) {
  std::string Output;
  FILE* Pipe = popen((Command + " 2>&1").c_str(), "r");
  if (!Pipe) {
    Status = -1;
    return Output;
  }
  char Buffer[4096];
  while (size_t N = fread(Buffer, 1, sizeof Buffer, Pipe))
    Output.append(Buffer, N);
  Status = pclose(Pipe);
  return Output;
}

TEST(VcdWriter, GtkwaveReadsBackEveryAccess) {
  auto Run = siotool::RunPass(siotool::EngineKind::Host, board::DefaultScenario(), "");
  auto Dir = std::filesystem::temp_directory_path() /
             ("sio-vcd-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
              std::to_string(reinterpret_cast<uintptr_t>(&Run)));
  std::filesystem::create_directories(Dir);
  auto Vcd = (Dir / "pass.vcd").string(), Fst = (Dir / "pass.fst").string();
  {
    std::ofstream Out(Vcd);
    siotool::WriteVcd(Out, Run.Result.Events);
  }
  int Status = 0;
  std::string Convert =
      RunCommand(std::string(sio::build::kVcd2Fst) + " '" + Vcd + "' '" + Fst + "'", Status);
  EXPECT_EQ(Status, 0) << Convert;
  for (const char* Complaint : {"error", "warning", "Error", "Warning", "unknown"}) {
    EXPECT_EQ(Convert.find(Complaint), std::string::npos) << Convert;
  }
  ASSERT_TRUE(std::filesystem::exists(Fst)) << Convert;
  std::string Back = RunCommand(std::string(sio::build::kFst2Vcd) + " '" + Fst + "'", Status);
  ASSERT_EQ(Status, 0) << Back;

  // Replay the changes fst2vcd reports and compare each step with the trace.
  std::map<std::string, std::string> Names; // identifier -> signal name
  std::map<std::string, uint64_t> Value;    // signal name -> current value
  std::vector<std::map<std::string, uint64_t>> Steps;
  std::istringstream Lines(Back);
  std::string Line;
  bool InDefinitions = true;
  auto EndStep = [&] {
    if (!InDefinitions)
      Steps.push_back(Value);
  };
  while (std::getline(Lines, Line)) {
    std::istringstream Words(Line);
    std::string First;
    Words >> First;
    if (First == "$var") {
      std::string Type, Width, Id, Name;
      Words >> Type >> Width >> Id >> Name;
      Names[Id] = Name;
    } else if (!First.empty() && First[0] == '#') {
      EndStep();
      InDefinitions = First == "#0";
    } else if (!First.empty() && First[0] == 'b') {
      std::string Id;
      Words >> Id;
      if (First.find_first_not_of("b01") == std::string::npos) {
        Value[Names[Id]] = std::stoull(First.substr(1), nullptr, 2);
      }
    } else if (First.size() >= 2 && (First[0] == '0' || First[0] == '1')) {
      Value[Names[First.substr(1)]] = First[0] - '0';
    }
  }
  EndStep();

  std::vector<size_t> Accesses;
  for (size_t I = 0; I < Run.Result.Events.size(); ++I) {
    if (Run.Result.Events[I].IsPortAccess())
      Accesses.push_back(I);
  }
  ASSERT_GE(Steps.size(), Accesses.size());
  for (size_t Step = 0; Step < Accesses.size(); ++Step) {
    const auto& E = Run.Result.Events[Accesses[Step]];
    auto& Seen = Steps[Step];
    EXPECT_EQ(Seen["port"], E.Port) << "step " << Step;
    EXPECT_EQ(Seen["data"], E.Value) << "step " << Step;
    EXPECT_EQ(Seen["write"], E.Kind == pi::EventKind::IoWrite ? 1u : 0u) << "step " << Step;
    EXPECT_EQ(Seen["width"], E.Width * 8u) << "step " << Step;
    EXPECT_EQ(Seen["event"], Accesses[Step]) << "step " << Step;
  }
  std::filesystem::remove_all(Dir);
}

} // namespace
