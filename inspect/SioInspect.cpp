// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio-inspect`: `sio inspect` as a statically linked program of its own, to
// copy onto a board whose operating system has none of the project's
// libraries. Exit codes and error line as `sio` (common/RunMain.h): 0 as
// expected, 1 a difference or a chip that did not answer, 2 a usage or
// access error (one line on stderr, "sio: error: ..."); a reading
// interrupted by a signal ends, after that line, by the signal.
#include <CLI/CLI.hpp>

#include "common/RunMain.h"
#include "common/Version.h"
#include "inspect/Inspection.h"

int main(int argc, char** argv) {
  CLI::App App{"Reads the F81216a chip's configuration registers through /dev/port and compares "
               "them with what the bring-up module should have left"};
  App.name("sio-inspect");
  App.set_version_flag("--version", std::string("sio-inspect ") + sio::kVersion);
  sio::Result<int> Outcome = 0;
  inspect::AddInspection(App, [&Outcome](sio::Result<int> Done) { Outcome = std::move(Done); });
  return sio::RunMain(App, argc, argv, [&]() -> sio::Result<int> {
    App.parse(argc, argv);
    return Outcome;
  });
}
