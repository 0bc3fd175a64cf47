// SPDX-License-Identifier: BSD-2-Clause-Patent
// The command-line knobs shared by `sio run` and `sio diff`: a scenario (a
// name of the catalog or a file) and flags that override its common
// settings, and the engine choice.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "board/Scenario.h"
#include "tool/Engine.h"

namespace siotool {

class ScenarioOptions {
public:
  // Adds --scenario NAME|FILE (--named, its old spelling, hidden) and the
  // knob flags to Command.
  void AddTo(CLI::App& Command);
  // Adds --image and, with ChooseEngine, --engine (default: image where built in).
  void AddEngineTo(CLI::App& Command, bool ChooseEngine);

  // The scenario given (or the default scenario) with the flags applied.
  // Throws InputError naming the flag.
  board::Scenario Build() const;
  EngineKind Engine() const;
  // Throws InputError for an --image the chosen engine would not run.
  void CheckEngineChoice() const;
  const std::string& ImagePath() const { return ImagePath_; }

private:
  // An option is given when it appears (its value is never empty:
  // RefuseEmptyValues).
  static bool Given(const CLI::Option* Option) { return Option && Option->count() > 0; }

  std::string Scenario_;
  std::string ChipPort_;
  bool NoChip_ = false;
  std::string ChipId_;
  std::string VariableFile_;
  bool NoVariable_ = false;
  bool NoVariablePpi_ = false;
  std::string InstallPpiStatus_;
  CLI::Option* ScenarioOption_ = nullptr;
  CLI::Option* NamedOption_ = nullptr;
  CLI::Option* ChipPortOption_ = nullptr;
  CLI::Option* ChipIdOption_ = nullptr;
  CLI::Option* VariableOption_ = nullptr;
  CLI::Option* InstallPpiStatusOption_ = nullptr;
  CLI::Option* ImageOption_ = nullptr;
  std::string Engine_;
  std::string ImagePath_;
};

// The scenario Text names for the option Flag: a name of the catalog or a
// scenario file (board/ScenarioChoice.h tells which), read. Throws
// InputError "Flag: Text: ..." when it names none.
board::Scenario LoadScenarioArgument(const std::string& Text, const std::string& Flag);

} // namespace siotool
