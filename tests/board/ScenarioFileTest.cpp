// SPDX-License-Identifier: BSD-2-Clause-Patent
// Scenario files: what a file says reaches the board, a scenario written out
// reads back the same, and each kind of mistake is named by its field.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "board/ScenarioFile.h"
#include "common/BuildPaths.h"
#include "pi/Status.h"

namespace {

using siotool::Json;

// The value a reader gave back; a test failure (and T's default) when it
// refused.
template <typename T> T Read(sio::Result<T> Got) {
  EXPECT_TRUE(Got) << (Got ? "" : Got.Message());
  return Got ? std::move(*Got) : T{};
}

// A scenario written out as JSON (what `sio run --json` shows), read back.
board::Scenario WrittenAndRead(const board::Scenario& S) {
  return Read(siotool::ParseScenario(siotool::ScenarioToJson(S)));
}

TEST(ScenarioFile, DefaultFileIsTheBoardsDefaultScenario) {
  auto FromFile =
      Read(siotool::LoadScenarioFile(std::string(sio::build::kScenarioDir) + "/default.json"));
  EXPECT_EQ(FromFile, board::DefaultScenario());
  EXPECT_EQ(Read(siotool::ParseScenario(Json::object())), board::DefaultScenario());
}

TEST(ScenarioFile, EveryKeyReachesTheScenario) {
  auto S = Read(siotool::ParseScenario(Json::parse(R"({
    "chip": {"kind": "qemu-sb16-mixer", "port": "0x162E", "id_high": 3, "id_low": "0x17"},
    "registers": [{"register": "0x27", "value": 1}, {"device": 1, "register": 96, "value": "0x3"}],
    "variable": {"bytes": "00:01:02"},
    "faults": {"no_variable_ppi": true, "install_ppi_status": "EFI_OUT_OF_RESOURCES"}})")));
  EXPECT_EQ(S.ChipPort, 0x162E);
  EXPECT_EQ(S.Kind, board::ChipKind::MixerStandIn);
  EXPECT_EQ(S.ChipIdHigh, 3);
  EXPECT_EQ(S.ChipIdLow, 0x17);
  EXPECT_EQ(S.Registers, (std::vector<board::RegisterPreset>{{0, 0x27, 1}, {1, 0x60, 3}}));
  EXPECT_EQ(S.SetupVariable, (std::vector<uint8_t>{0, 1, 2}));
  EXPECT_TRUE(S.Faults.NoVariablePpi);
  EXPECT_EQ(S.Faults.InstallPpiStatus, pi::kEfiOutOfResources);

  // The lookup and GetVariable faults, each with what lets it take effect.
  auto Null =
      Read(siotool::ParseScenario(Json::parse(R"({"faults": {"locate_returns_null_ppi": true}})")));
  EXPECT_TRUE(Null.Faults.LocateReturnsNullPpi);
  auto Locate = Read(
      siotool::ParseScenario(Json::parse(R"({"faults": {"locate_ppi_status": "0x80000007"}})")));
  EXPECT_EQ(Locate.Faults.LocatePpiStatus, pi::kEfiDeviceError);
  auto Get = Read(
      siotool::ParseScenario(Json::parse(R"({"faults": {"get_variable_status": 2147483662}})")));
  EXPECT_EQ(Get.Faults.GetVariableStatus, pi::kEfiNotFound);
  auto Size = Read(
      siotool::ParseScenario(Json::parse(R"({"faults": {"get_variable_reported_size": 500}})")));
  EXPECT_EQ(Size.Faults.GetVariableReportedSize, 500u);

  auto Absent = Read(siotool::ParseScenario(Json::parse(R"({"chip": null, "variable": null})")));
  EXPECT_FALSE(Absent.ChipPort);
  EXPECT_FALSE(Absent.SetupVariable);
}

// A combination where one fault masks another would be reported (and echoed
// by --json) as if both were in effect: it is refused, naming both.
TEST(ScenarioFile, FaultsThatCannotTakeEffectAreRefused) {
  const std::pair<const char*, const char*> Cases[] = {
      {R"({"get_variable_status": "EFI_SUCCESS", "get_variable_reported_size": 10})",
       "get_variable_reported_size cannot take effect: get_variable_status"},
      {R"({"get_variable_status": "EFI_NOT_FOUND", "get_variable_reported_size": 10})",
       "get_variable_reported_size cannot take effect: get_variable_status"},
      {R"({"no_variable_ppi": true, "locate_returns_null_ppi": true})",
       "no_variable_ppi cannot take effect: locate_returns_null_ppi"},
      {R"({"no_variable_ppi": true, "locate_ppi_status": "EFI_NOT_FOUND"})",
       "no_variable_ppi cannot take effect: locate_ppi_status"},
      {R"({"locate_returns_null_ppi": true, "locate_ppi_status": "EFI_SUCCESS"})",
       "locate_returns_null_ppi cannot take effect: locate_ppi_status"},
      {R"({"no_variable_ppi": true, "get_variable_status": "EFI_DEVICE_ERROR"})",
       "get_variable_status cannot take effect: the variable PPI is never found"},
      {R"({"locate_returns_null_ppi": true, "get_variable_reported_size": 4})",
       "get_variable_reported_size cannot take effect: the variable PPI is never found"},
      {R"({"locate_ppi_status": "EFI_NOT_FOUND", "get_variable_status": "EFI_SUCCESS"})",
       "get_variable_status cannot take effect: the variable PPI is never found"},
  };
  for (const auto& [Faults, Message] : Cases) {
    std::string Text = std::string(R"({"faults": )") + Faults + "}";
    auto S = siotool::ParseScenario(Json::parse(Text));
    ASSERT_FALSE(S) << Text << " was accepted as " << siotool::ScenarioToJson(*S).dump();
    EXPECT_EQ(S.Message().rfind(std::string("faults: ") + Message, 0), 0u) << Text << "\n"
                                                                           << S.Message();
  }
  // Without a variable, a claimed size has nothing to be claimed for.
  EXPECT_FALSE(siotool::ParseScenario(
      Json::parse(R"({"variable": null, "faults": {"get_variable_reported_size": 4}})")));
}

// The chip's index and data ports must stay clear of every port the module
// accesses itself, as wide as it accesses them.
TEST(ScenarioFile, ChipPortsClearOfTheModulesOwnAccesses) {
  const std::pair<uint16_t, bool> Cases[] = {
      {0x7E, true},   {0x7F, false},  {0x80, false},  {0x81, false},  {0x82, true},
      {0xCF6, true},  {0xCF7, false}, {0xCF8, false}, {0xCFB, false}, {0xCFC, false},
      {0xCFF, false}, {0xD00, true},  {0x2E, true},   {0xFFFE, true}, {0xFFFF, false},
  };
  for (auto [Port, Allowed] : Cases) {
    EXPECT_EQ(siotool::ChipPortProblem(Port).empty(), Allowed)
        << std::hex << Port << ": " << siotool::ChipPortProblem(Port);
  }
}

// Each object's keys appear once; the same key in two objects is fine.
TEST(ScenarioFile, KeyGivenTwiceIsRefused) {
  auto Parse = [](std::string_view Text) {
    return siotool::ParseJson(
        std::span(reinterpret_cast<const uint8_t*>(Text.data()), Text.size()));
  };
  const std::pair<const char*, const char*> Cases[] = {
      {R"({"chip": {"port": 46, "port": 78}})", "chip.port: given twice"},
      {R"({"faults": {}, "faults": {}})", "faults: given twice"},
      {R"({"registers": [{"register": 39, "value": 1, "value": 2}]})",
       "registers[0].value: given twice"},
      {R"({"registers": [[], {"a": 1}, {"b": 1, "b": 1}]})", "registers[2].b: given twice"},
      {R"({"variable": {"entries": [null, {"kind": 1, "kind": 2}]}})",
       "variable.entries[1].kind: given twice"},
  };
  for (const auto& [Text, Message] : Cases) {
    auto Got = Parse(Text);
    ASSERT_FALSE(Got) << Text << " was accepted";
    EXPECT_EQ(Got.Message().rfind(Message, 0), 0u) << Text << "\n" << Got.Message();
  }
  auto Two =
      Read(Parse(R"({"registers": [{"register": 39, "value": 1}, {"register": 40, "value": 1}]})"));
  EXPECT_EQ(Read(siotool::ParseScenario(Two)).Registers.size(), 2u);
}

TEST(ScenarioFile, WrittenScenariosReadBackTheSame) {
  for (const auto& File : std::filesystem::directory_iterator(sio::build::kScenarioDir)) {
    auto S = Read(siotool::LoadScenarioFile(File.path().string()));
    EXPECT_EQ(WrittenAndRead(S), S) << File.path().filename();
  }
  // Every field away from its default, each alone and all together: a field
  // the writer drops reads back as its default.
  auto NoChip = [](board::Scenario& S) { S.ChipPort = std::nullopt; };
  const std::pair<const char*, void (*)(board::Scenario&)> Changes[] = {
      {"no chip", NoChip},
      {"stand-in", [](board::Scenario& S) { S.Kind = board::ChipKind::MixerStandIn; }},
      {"chip id", [](board::Scenario& S) { S.ChipIdHigh = 0x03, S.ChipIdLow = 0x17; }},
      {"registers",
       [](board::Scenario& S) {
         S.Registers = {{0, 0x27, 1}, {1, 0x60, 3}};
       }},
      {"read answers",
       [](board::Scenario& S) {
         S.ChipReadAnswers = {0x5A, 0x02, 0x00};
       }},
      {"empty variable", [](board::Scenario& S) { S.SetupVariable = std::vector<uint8_t>{}; }},
      {"no variable", [](board::Scenario& S) { S.SetupVariable = std::nullopt; }},
      {"no variable PPI", [](board::Scenario& S) { S.Faults.NoVariablePpi = true; }},
      {"install status", [](board::Scenario& S) { S.Faults.InstallPpiStatus = 0x80000009; }},
      {"nameless status", [](board::Scenario& S) { S.Faults.GetVariableStatus = 0x8000001D; }},
      {"reported size", [](board::Scenario& S) { S.Faults.GetVariableReportedSize = 99; }},
      {"stale buffer", [](board::Scenario& S) { S.Faults.StaleBuffer.assign(67, 0xEE); }},
  };
  board::Scenario All = board::DefaultScenario();
  for (const auto& [Name, Change] : Changes) {
    board::Scenario S = board::DefaultScenario();
    Change(S);
    ASSERT_NE(S, board::DefaultScenario()) << Name;
    EXPECT_EQ(WrittenAndRead(S), S) << Name << ": " << siotool::ScenarioToJson(S).dump();
    // All the others at once (a reported size needs the variable PPI found,
    // a variable, and no GetVariable status).
    const std::string_view Apart[] = {"no chip", "no variable", "no variable PPI",
                                      "nameless status"};
    if (std::ranges::find(Apart, Name) == std::end(Apart))
      Change(All);
  }
  EXPECT_EQ(WrittenAndRead(All), All) << siotool::ScenarioToJson(All).dump();
  // Read answers, ID and kind are kept when the chip is taken off.
  NoChip(All);
  EXPECT_EQ(WrittenAndRead(All), All) << siotool::ScenarioToJson(All).dump();
  board::Scenario Bare = board::DefaultScenario();
  NoChip(Bare);
  EXPECT_TRUE(siotool::ScenarioToJson(Bare)["chip"].is_null());
}

TEST(ScenarioFile, MistakesAreNamedByField) {
  const std::pair<const char*, const char*> Cases[] = {
      {R"({"chip": {"port": 65535}})", "chip.port: 0xFFFF is out of range (the data port must fit"},
      {R"({"chip": {"port": "0x80"}})", "chip.port: 0x0080 overlaps the POST code port"},
      {R"({"chip": {"port": "0xCFF"}})",
       "chip.port: 0x0CFF overlaps the PCI configuration data port"},
      {R"({"chip": {"port": "0x81"}})", "chip.port: 0x0081 overlaps the POST code port"},
      // Text holding a NUL is shown whole, escaped.
      {"{\"chip\": {\"port\": \"0x2E\\u0000junk\"}}",
       "chip.port: \"0x2E\\u0000junk\" is not a number (write it in decimal or as 0x-prefixed hex, "
       "from 0 to 0xFFFF)"},
      {"{\"a\\u0000b\": 1}", "a\\u0000b: unknown key"},
      {R"({"chip": {"port": true}})",
       "chip.port: expected a number from 0 to 0xFFFF, got a boolean"},
      {R"({"chip": 7})", "chip: expected an object, got a number"},
      {R"({"registers": [{"register": "0x21", "value": 0}]})",
       "registers[0].register: the chip ID registers are set by chip.id_high and chip.id_low"},
      {R"({"registers": [{"device": 1, "register": "0x25", "value": 0}]})",
       "registers[0].device: register 0x25 is chip-global"},
      {R"({"registers": [{"device": 1, "register": "0x30"}]})", "registers[0].value: missing"},
      {R"({"registers": {}})", "registers: expected an array"},
      {R"({"variable": {"entries": [{"kind": "0x12", "colour": 1}]}})",
       "variable.entries[0].colour: unknown key"},
      {R"({"variable": {"bytes": 5}})", "variable.bytes: expected an array of bytes"},
      {R"({"faults": {"get_variable_reported_size": -1}})",
       "faults.get_variable_reported_size: expected a number"},
      {R"({"description": 1})", "description: expected a string"},
      {R"({"Chip": {}})",
       "Chip: unknown key (allowed: description, chip, registers, variable, faults)"},
  };
  for (const auto& [Text, Message] : Cases) {
    auto Got = siotool::ParseScenario(Json::parse(Text));
    ASSERT_FALSE(Got) << Text << " was accepted";
    EXPECT_EQ(Got.Message().rfind(Message, 0), 0u) << Text << "\n" << Got.Message();
  }
}

} // namespace
