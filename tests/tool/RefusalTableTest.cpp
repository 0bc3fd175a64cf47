// SPDX-License-Identifier: BSD-2-Clause-Patent
// Every refusal `sio` and `sio-inspect` make, run as a user would: the exit
// code and the one error line must stay as data/refusals.txt lists them. The
// table pairs a command line ("$ sio run --scenario ...") with the exit code
// and the exact stderr line; {SRC}, {BUILD}, {MODULE}, {IMAGE} and
// {OVMF_VARS} stand for the source and build trees and the build's files. Each command runs in a
// scratch folder, so an output it should have refused lands nowhere that matters.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/BuildPaths.h"
#include "tests/support/RunProgram.h"

namespace {

namespace fs = std::filesystem;

struct Refusal {
  size_t Line = 0;
  std::string Command; // as the table writes it
  int ExitCode = 0;
  std::string Stderr; // the one line, without its newline; empty: nothing
};

const std::pair<const char*, const char*> kPlaceholders[] = {
    {"{BUILD}", sio::build::kBuildDir},     {"{SRC}", sio::build::kSourceDir},
    {"{MODULE}", sio::build::kModuleFile},  {"{IMAGE}", sio::build::kImageFile},
    {"{OVMF_VARS}", sio::build::kOvmfVars},
};

std::string Expand(std::string Text) {
  for (const auto& [Name, Value] : kPlaceholders) {
    for (size_t At = Text.find(Name); At != std::string::npos; At = Text.find(Name, At))
      Text.replace(At, std::string(Name).size(), Value);
  }
  return Text;
}

// Words separated by spaces; '...' holds spaces or nothing.
std::vector<std::string> Words(const std::string& Text) {
  std::vector<std::string> Out;
  size_t I = 0;
  while (I < Text.size()) {
    if (Text[I] == ' ') {
      ++I;
      continue;
    }
    std::string Word;
    while (I < Text.size() && Text[I] != ' ') {
      if (Text[I] == '\'') {
        const size_t End = Text.find('\'', I + 1);
        Word += Text.substr(I + 1, End - I - 1);
        I = End + 1;
      } else {
        Word += Text[I++];
      }
    }
    Out.push_back(Word);
  }
  return Out;
}

std::vector<Refusal> ReadTable() {
  std::ifstream In(std::string(sio::build::kSourceDir) + "/tests/tool/data/refusals.txt");
  std::vector<Refusal> Table;
  std::string Line;
  for (size_t Number = 1; std::getline(In, Line); ++Number) {
    if (Line.starts_with("$ ")) {
      Table.push_back({Number, Line.substr(2), 0, ""});
    } else if (!Line.empty() && Line[0] != '#' && !Table.empty()) {
      const size_t Space = Line.find(' ');
      Table.back().ExitCode = std::stoi(Line.substr(0, Space));
      Table.back().Stderr = Space == std::string::npos ? "" : Line.substr(Space + 1);
    }
  }
  return Table;
}

TEST(Refusals, ExitCodeAndErrorLineAsListed) {
  const auto Table = ReadTable();
  ASSERT_GE(Table.size(), 150u) << "the table of refusals went missing";
  const fs::path Folder = fs::path(sio::build::kTestWorkDir) / "refusals";
  for (const Refusal& Case : Table) {
    fs::remove_all(Folder);
    fs::create_directories(Folder);
    auto Args = Words(Expand(Case.Command));
    ASSERT_FALSE(Args.empty());
    Args[0] = Args[0] == "sio" ? sio::build::kSioFile : sio::build::kInspectFile;
    const test::Ended Got = test::RunProgram(Args, Folder);
    const std::string Expected = Case.Stderr.empty() ? "" : Expand(Case.Stderr) + "\n";
    EXPECT_EQ(Got.ExitCode, Case.ExitCode) << "refusals.txt:" << Case.Line << ": " << Case.Command;
    EXPECT_EQ(Got.Stderr, Expected) << "refusals.txt:" << Case.Line << ": " << Case.Command;
    // Nothing refused leaves a file behind.
    EXPECT_TRUE(fs::is_empty(Folder)) << "refusals.txt:" << Case.Line << ": " << Case.Command;
  }
  fs::remove_all(Folder);
}

} // namespace
