// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio`: runs the F81216a bring-up module on the simulated board and shows
// what it did in the chip's own terms; builds and reads setup variables.
//
// Exit codes (common/RunMain.h): 0 success, 1 a difference or a failed check,
// 2 a usage or input error (one line on stderr); `sio inspect` interrupted by
// a signal ends, after that line, by the signal. No input makes it crash or
// throw past main.
#include <CLI/CLI.hpp>

#include <string>

#include "common/RunMain.h"
#include "common/Version.h"
#include "tool/Commands.h"
#include "tool/InputError.h"
#include "tool/OptionRules.h"

int main(int argc, char** argv) {
  CLI::App App{"Runs the F81216a bring-up module on a simulated board and shows what it did"};
  App.name("sio");
  App.set_version_flag("--version", std::string("sio ") + sio::kVersion);
  App.require_subcommand(1);
  int ExitCode = 0;
  siotool::AddCommands(App, ExitCode);
  siotool::RefuseEmptyValues(App);
  return sio::RunMain(App, argc, argv, [&]() -> sio::Result<int> {
    // A command stops at an error by throwing it (tool/InputError.h).
    try {
      App.parse(argc, argv);
    } catch (const siotool::InputError& Error) {
      return Error.Failure();
    }
    return ExitCode;
  });
}
