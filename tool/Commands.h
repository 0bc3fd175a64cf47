// SPDX-License-Identifier: BSD-2-Clause-Patent
// The `sio` subcommands. Each Add* registers one command on the application;
// its callback sets ExitCode (0 success, 1 a difference or failed check) and
// throws InputError for bad input (exit code 2).
#pragma once

#include <CLI/CLI.hpp>

namespace siotool {

void AddRunCommand(CLI::App& App, int& ExitCode);
void AddDiffCommand(CLI::App& App, int& ExitCode);
void AddVarCommands(CLI::App& App, int& ExitCode);
// `sio var store` and `sio var list`, on the `var` command.
void AddVarStoreCommands(CLI::App& Var, int& ExitCode);
void AddImageCommands(CLI::App& App, int& ExitCode);
void AddOvmfCommand(CLI::App& App, int& ExitCode);
void AddPackCommand(CLI::App& App, int& ExitCode);
// `sio inspect`: the inspection of inspect/Inspection.h, with --image.
void AddInspectCommand(CLI::App& App, int& ExitCode);
// `sio setup`: the setup driver's page, run in the emulator.
void AddSetupCommand(CLI::App& App, int& ExitCode);

// Every command above, in the order `sio --help` lists them.
inline void AddCommands(CLI::App& App, int& ExitCode) {
  AddRunCommand(App, ExitCode);
  AddDiffCommand(App, ExitCode);
  AddVarCommands(App, ExitCode);
  AddImageCommands(App, ExitCode);
  AddOvmfCommand(App, ExitCode);
  AddPackCommand(App, ExitCode);
  AddSetupCommand(App, ExitCode);
  AddInspectCommand(App, ExitCode);
}

} // namespace siotool
