// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/Inspection.h"
#include "tool/Commands.h"
#include "tool/Engine.h"
#include "tool/InputError.h"

namespace siotool {

void AddInspectCommand(CLI::App& App, int& ExitCode) {
  inspect::AddInspection(
      *App.add_subcommand("inspect", "Read a running board's chip through /dev/port and compare it "
                                     "with what the module's pass should have left"),
      [&ExitCode](sio::Result<int> Done) { ExitCode = Need(std::move(Done)); },
      [](const std::string& Path) -> sio::Result<chip::BoardValues> {
        try {
          return ReadImageBoardValues(Path);
        } catch (const InputError& Error) {
          return Error.Failure();
        }
      });
}

} // namespace siotool
