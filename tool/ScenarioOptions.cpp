// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/ScenarioOptions.h"

#include "board/ScenarioChoice.h"
#include "board/ScenarioFile.h"
#include "common/FileInput.h"
#include "common/JsonFields.h"
#include "common/OldSpelling.h"
#include "pi/Status.h"
#include "tool/InputError.h"

namespace siotool {

board::Scenario LoadScenarioArgument(const std::string& Text, const std::string& Flag) {
  auto Choice = board::ChooseScenario(Text);
  if (!Choice)
    throw InputError(Flag + ": " + Choice.Message());
  if (Choice->Named)
    return Choice->Named->Scenario;
  return Need(LoadScenarioFile(Choice->File));
}

void ScenarioOptions::AddTo(CLI::App& Command) {
  ScenarioOption_ = Command
                        .add_option("--scenario", Scenario_,
                                    "A scenario of the board's catalog (" + board::ScenarioNames() +
                                        ") or a scenario file (JSON); without it, the "
                                        "default scenario")
                        ->type_name("NAME|FILE");
  NamedOption_ = sio::AddOldSpelling(Command, "--named", ScenarioOption_, Scenario_);
  auto* Port = ChipPortOption_ =
      Command
          .add_option("--chip-port", ChipPort_,
                      "Put the chip's index port here (e.g. 0x2E; data port is +1)")
          ->type_name("PORT");
  auto* Id = ChipIdOption_ =
      Command
          .add_option("--chip-id", ChipId_, "Chip ID bytes the chip answers, high:low (e.g. 02:16)")
          ->type_name("HH:LL");
  auto* NoChip = Command.add_flag("--no-chip", NoChip_, "Take the chip off the board");
  NoChip->excludes(Port)->excludes(Id);
  auto* Variable = VariableOption_ =
      Command.add_option("--variable", VariableFile_, "Setup variable content from a binary file")
          ->type_name("FILE");
  Command.add_flag("--no-variable", NoVariable_, "No setup variable in the store")
      ->excludes(Variable);
  Command.add_flag("--no-variable-ppi", NoVariablePpi_,
                   "The read-only variable PPI is not installed");
  InstallPpiStatusOption_ =
      Command
          .add_option("--install-ppi-status", InstallPpiStatus_,
                      "Status InstallPpi returns (name such as EFI_OUT_OF_RESOURCES, or 0xHEX)")
          ->type_name("STATUS");
}

void ScenarioOptions::AddEngineTo(CLI::App& Command, bool ChooseEngine) {
  if (ChooseEngine) {
    Command
        .add_option("--engine", Engine_,
                    std::string("Engine: image (the real image in the CPU emulator) or host "
                                "(host build); default ") +
                        EngineName(kDefaultEngine))
        ->check(CLI::IsMember({"image", "host"}));
  }
  ImagePath_ = DefaultImagePath();
  ImageOption_ = Command.add_option("--image", ImagePath_, "Module image for the image engine")
                     ->type_name("FILE")
                     ->capture_default_str();
}

void ScenarioOptions::CheckEngineChoice() const {
  if (Engine() == EngineKind::Host && Given(ImageOption_)) {
    throw InputError("--image: the host engine runs the host build, not an image (drop --image "
                     "or use --engine image)");
  }
}

EngineKind ScenarioOptions::Engine() const {
  if (Engine_.empty())
    return kDefaultEngine;
  return Engine_ == "image" ? EngineKind::Image : EngineKind::Host;
}

board::Scenario ScenarioOptions::Build() const {
  board::Scenario S = board::DefaultScenario();
  if (sio::GivenEither(ScenarioOption_, NamedOption_))
    S = LoadScenarioArgument(Scenario_, "--scenario");
  if (NoChip_)
    S.ChipPort = std::nullopt;
  if (Given(ChipPortOption_)) {
    uint64_t Port = Need(ParseUnsigned(ChipPort_, "--chip-port", 0xFFFF));
    if (auto Problem = ChipPortProblem(Port); !Problem.empty()) {
      throw InputError("--chip-port: " + Problem);
    }
    S.ChipPort = static_cast<uint16_t>(Port);
  }
  if (Given(ChipIdOption_)) {
    auto Bytes = Need(ReadBytes(Json(ChipId_), "--chip-id", 2));
    if (Bytes.size() != 2)
      throw InputError("--chip-id: give two bytes, high:low (e.g. 02:16)");
    if (!S.ChipPort)
      throw InputError("--chip-id: the board has no chip (add --chip-port)");
    S.ChipIdHigh = Bytes[0];
    S.ChipIdLow = Bytes[1];
  }
  if (NoVariable_)
    S.SetupVariable = std::nullopt;
  if (Given(VariableOption_)) {
    S.SetupVariable =
        Need(sio::ReadInputFile(VariableFile_, kMaxScenarioVariableSize), "--variable");
  }
  if (NoVariablePpi_)
    S.Faults.NoVariablePpi = true;
  if (Given(InstallPpiStatusOption_)) {
    S.Faults.InstallPpiStatus = Need(ReadStatus(Json(InstallPpiStatus_), "--install-ppi-status"));
  }
  // The flags may mask a fault the scenario file sets, or the reverse.
  if (auto Conflict = FaultConflict(S); !Conflict.empty())
    throw InputError("faults: " + Conflict);
  return S;
}

} // namespace siotool
