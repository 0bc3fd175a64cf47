// Scenario files: what a file says reaches the board, a scenario written out
// reads back the same, and each kind of mistake is named by its field.
#include <gtest/gtest.h>

#include <filesystem>

#include "board/Status.h"
#include "tool/InputError.h"
#include "tool/ScenarioFile.h"

namespace {

using siotool::Json;

void ExpectSame(const board::Scenario& A, const board::Scenario& B, const std::string& Name) {
  EXPECT_EQ(A.ChipPort, B.ChipPort) << Name;
  EXPECT_EQ(A.Kind, B.Kind) << Name;
  EXPECT_EQ(A.ChipIdHigh, B.ChipIdHigh) << Name;
  EXPECT_EQ(A.ChipIdLow, B.ChipIdLow) << Name;
  EXPECT_EQ(A.Registers, B.Registers) << Name;
  EXPECT_EQ(A.SetupVariable, B.SetupVariable) << Name;
  EXPECT_EQ(A.Faults.NoVariablePpi, B.Faults.NoVariablePpi) << Name;
  EXPECT_EQ(A.Faults.LocateReturnsNullPpi, B.Faults.LocateReturnsNullPpi) << Name;
  EXPECT_EQ(A.Faults.InstallPpiStatus, B.Faults.InstallPpiStatus) << Name;
  EXPECT_EQ(A.Faults.LocatePpiStatus, B.Faults.LocatePpiStatus) << Name;
  EXPECT_EQ(A.Faults.GetVariableStatus, B.Faults.GetVariableStatus) << Name;
  EXPECT_EQ(A.Faults.GetVariableReportedSize, B.Faults.GetVariableReportedSize) << Name;
}

TEST(ScenarioFile, DefaultFileIsTheBoardsDefaultScenario) {
  auto FromFile = siotool::LoadScenarioFile(SIO_SCENARIO_DIR "/default.json");
  ExpectSame(FromFile, board::DefaultScenario(), "default.json");
  ExpectSame(siotool::ParseScenario(Json::object()), board::DefaultScenario(), "{}");
}

TEST(ScenarioFile, EveryKeyReachesTheScenario) {
  auto S = siotool::ParseScenario(Json::parse(R"({
    "chip": {"kind": "qemu-sb16-mixer", "port": "0x162E", "id_high": 3, "id_low": "0x17"},
    "registers": [{"register": "0x27", "value": 1}, {"device": 1, "register": 96, "value": "0x3"}],
    "variable": {"bytes": "00:01:02"},
    "faults": {"no_variable_ppi": true, "locate_returns_null_ppi": true,
               "install_ppi_status": "EFI_OUT_OF_RESOURCES", "locate_ppi_status": "0x80000007",
               "get_variable_status": 2147483662, "get_variable_reported_size": 500}})"));
  EXPECT_EQ(S.ChipPort, 0x162E);
  EXPECT_EQ(S.Kind, board::ChipKind::MixerStandIn);
  EXPECT_EQ(S.ChipIdHigh, 3);
  EXPECT_EQ(S.ChipIdLow, 0x17);
  EXPECT_EQ(S.Registers, (std::vector<board::RegisterPreset>{{0, 0x27, 1}, {1, 0x60, 3}}));
  EXPECT_EQ(S.SetupVariable, (std::vector<uint8_t>{0, 1, 2}));
  EXPECT_TRUE(S.Faults.NoVariablePpi);
  EXPECT_TRUE(S.Faults.LocateReturnsNullPpi);
  EXPECT_EQ(S.Faults.InstallPpiStatus, board::kEfiOutOfResources);
  EXPECT_EQ(S.Faults.LocatePpiStatus, board::kEfiDeviceError);
  EXPECT_EQ(S.Faults.GetVariableStatus, board::kEfiNotFound);
  EXPECT_EQ(S.Faults.GetVariableReportedSize, 500u);

  auto Absent = siotool::ParseScenario(Json::parse(R"({"chip": null, "variable": null})"));
  EXPECT_FALSE(Absent.ChipPort);
  EXPECT_FALSE(Absent.SetupVariable);
}

TEST(ScenarioFile, WrittenScenariosReadBackTheSame) {
  for (const auto& File : std::filesystem::directory_iterator(SIO_SCENARIO_DIR)) {
    auto S = siotool::LoadScenarioFile(File.path().string());
    ExpectSame(siotool::ParseScenario(siotool::ScenarioToJson(S)), S, File.path().filename());
  }
  board::Scenario Odd;
  Odd.ChipPort = std::nullopt;
  Odd.SetupVariable = std::vector<uint8_t>{};
  Odd.Faults.GetVariableStatus = 0x8000001F; // a status without a name
  ExpectSame(siotool::ParseScenario(siotool::ScenarioToJson(Odd)), Odd, "odd");
}

TEST(ScenarioFile, MistakesAreNamedByField) {
  const std::pair<const char*, const char*> Cases[] = {
      {R"({"chip": {"port": 65535}})", "chip.port: 0xFFFF is out of range (the data port must fit"},
      {R"({"chip": {"port": "0x80"}})", "chip.port: 0x0080 overlaps the POST code port"},
      {R"({"chip": {"port": "0xCFF"}})", "chip.port: 0x0CFF overlaps the PCI configuration ports"},
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
    try {
      siotool::ParseScenario(Json::parse(Text));
      ADD_FAILURE() << Text << " was accepted";
    } catch (const siotool::InputError& Error) {
      EXPECT_EQ(std::string(Error.what()).rfind(Message, 0), 0u) << Text << "\n" << Error.what();
    }
  }
}

} // namespace
