// SPDX-License-Identifier: BSD-2-Clause-Patent
// The rules every option follows (an empty value is refused, a number is
// decimal or 0x-prefixed hex) on the commands as `sio` registers them,
// including arguments a shell can pass but the CMake process tests cannot
// (an empty argument).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool/Commands.h"
#include "tool/InputError.h"
#include "tool/OptionRules.h"

namespace {

// The commands as `sio` registers them, with the rules.
void AddCommands(CLI::App& App, int& ExitCode) {
  siotool::AddCommands(App, ExitCode);
  siotool::RefuseEmptyValues(App);
}

// An empty value is an error on every command alike: before, `ovmf
// --scenario ""` ran on the default board while `run --scenario ""` failed.
TEST(CommandLine, EmptyValuesAreRefusedBeforeAnythingRuns) {
  const std::pair<std::vector<const char*>, const char*> Cases[] = {
      {{"sio", "run", "--engine", "host", "--vcd", ""}, "--vcd: empty value"},
      {{"sio", "run", "--image", ""}, "--image: empty value"},
      {{"sio", "run", "--scenario", ""}, "--scenario: empty value"},
      {{"sio", "diff", "--image", ""}, "--image: empty value"},
      {{"sio", "ovmf", "--scenario", "", "--no-boot", "-o", "never.fd"}, "--scenario: empty value"},
      {{"sio", "ovmf", "--chip-port", "", "--no-boot", "-o", "never.fd"},
       "--chip-port: empty value"},
      {{"sio", "var", "encode", "--trailer", "", "-o", "never.bin"}, "--trailer: empty value"},
      {{"sio", "var", "decode", ""}, "FILE: empty value"},
      {{"sio", "pack", "fv", "a.ffs", "-o", ""}, "--output: empty value"},
  };
  for (const auto& [Args, Message] : Cases) {
    CLI::App App;
    int ExitCode = -1;
    AddCommands(App, ExitCode);
    try {
      App.parse(static_cast<int>(Args.size()), const_cast<char**>(Args.data()));
      ADD_FAILURE() << Args[1] << " " << Args[2] << " \"\" was accepted";
    } catch (const CLI::ValidationError& Error) {
      EXPECT_STREQ(Error.what(), Message);
    }
    EXPECT_EQ(ExitCode, -1) << "the command ran";
  }
}

// Every option CLI11 reads into an integer reads it by the one number rule,
// as the options and fields read as text do: "010" is ten, not eight.
TEST(CommandLine, EveryNumberOptionReadsDecimalOrHex) {
  CLI::App App;
  int ExitCode = -1;
  AddCommands(App, ExitCode);
  std::vector<CLI::App*> Commands = {&App};
  size_t Numbers = 0;
  for (size_t I = 0; I < Commands.size(); ++I) {
    for (CLI::App* Sub : Commands[I]->get_subcommands([](CLI::App*) { return true; }))
      Commands.push_back(Sub);
    for (CLI::Option* Option : Commands[I]->get_options()) {
      const std::string Type = Option->get_type_name();
      if (Type != "UINT" && Type != "INT")
        continue;
      ++Numbers;
      // First, so that no other validator reads the text its own way.
      EXPECT_EQ(Option->get_validator(0)->get_name(), siotool::kNumberValidatorName)
          << Commands[I]->get_name() << " " << Option->get_name();
    }
  }
  EXPECT_GE(Numbers, 2u); // ovmf --timeout, pack fv --block-size

  const CLI::Validator Rule = siotool::DecimalOrHex(1, 3600);
  const std::pair<const char*, const char*> Cases[] = {
      {"010", "10"},   {"0x10", "16"},    {"0X0e10", "3600"}, {"1", "1"},
      {"0", nullptr},  {"3601", nullptr}, {"0x", nullptr},    {"1e3", nullptr},
      {"-5", nullptr}, {"0b11", nullptr}, {" 7", nullptr},    {"99999999999999999999", nullptr},
  };
  for (auto [Text, Read] : Cases) {
    std::string Value = Text;
    const std::string Error = Rule(Value);
    if (Read) {
      EXPECT_EQ(Error, "") << Text;
      EXPECT_EQ(Value, Read) << Text;
    } else {
      EXPECT_NE(Error, "") << Text << " read as " << Value;
    }
  }
}

} // namespace
