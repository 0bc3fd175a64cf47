// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/Inspection.h"
#include "tool/Commands.h"
#include "tool/Engine.h"

namespace siotool {

void AddInspectCommand(CLI::App& App, int& ExitCode) {
  inspect::AddInspection(
      *App.add_subcommand("inspect", "Read a running board's chip through /dev/port and compare it "
                                     "with what the module's pass should have left"),
      ExitCode, ReadImageBoardValues);
}

} // namespace siotool
