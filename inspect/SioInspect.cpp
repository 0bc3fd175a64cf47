// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio-inspect`: `sio inspect` as a statically linked program of its own, to
// copy onto a board whose operating system has none of the project's
// libraries. Exit codes and error line as `sio`: 0 as expected, 1 a
// difference, 2 a usage or access error (one line on stderr, "sio: error:
// ..."); a reading interrupted by a signal ends, after that line, by the
// signal.
#include <CLI/CLI.hpp>

#include <exception>

#include "common/ErrorReport.h"
#include "common/InputError.h"
#include "common/Version.h"
#include "inspect/Inspection.h"
#include "inspect/SignalHold.h"

namespace {

int Run(int argc, char** argv) {
  CLI::App App{"Reads the F81216a chip's configuration registers through /dev/port and compares "
               "them with what the bring-up module should have left"};
  App.name("sio-inspect");
  App.set_version_flag("--version", std::string("sio-inspect ") + sio::kVersion);
  int ExitCode = 0;
  inspect::AddInspection(App, ExitCode);
  try {
    App.parse(argc, argv);
  } catch (const CLI::ParseError& Error) {
    if (Error.get_exit_code() == 0)
      return App.exit(Error); // --help
    sio::ReportError(std::string(Error.what()) + " (see --help)");
    return 2;
  } catch (const inspect::Interrupted& Error) {
    sio::ReportError(Error.what());
    return inspect::EndBySignal(Error.Signal);
  } catch (const siotool::InputError& Error) {
    sio::ReportError(Error.what());
    return 2;
  }
  return ExitCode;
}

} // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& Error) {
    sio::ReportError(std::string("internal error: ") + Error.what());
  } catch (...) {
    sio::ReportError("internal error");
  }
  return 2;
}
