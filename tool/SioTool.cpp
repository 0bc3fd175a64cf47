// `sio`: runs the F81216a bring-up module on the simulated board and shows
// what it did in the chip's own terms; builds and reads setup variables.
//
// Exit codes: 0 success, 1 a difference or a failed check, 2 a usage or input
// error (one line on stderr). No input makes it crash or throw past main.
#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <string>

#include "inspect/InspectCommand.h"
#include "tool/Commands.h"
#include "tool/InputError.h"

namespace {

// Error messages quote what the user typed; keep them on one line.
std::string OneLine(std::string Text) {
  for (char& C : Text) {
    if (static_cast<unsigned char>(C) < 0x20)
      C = '?';
  }
  return Text;
}

int Run(int argc, char** argv) {
  CLI::App App{"Runs the F81216a bring-up module on a simulated board and shows what it did"};
  App.name("sio");
  App.require_subcommand(1);
  int ExitCode = 0;
  siotool::AddRunCommand(App, ExitCode);
  siotool::AddDiffCommand(App, ExitCode);
  siotool::AddVarCommands(App, ExitCode);
  siotool::AddImageCommands(App, ExitCode);
  siotool::AddOvmfCommand(App, ExitCode);
  inspect::AddInspectCommand(
      *App.add_subcommand("inspect", "Read a running board's chip through /dev/port and compare it "
                                     "with what the module's pass should have left"),
      ExitCode);
  try {
    App.parse(argc, argv);
  } catch (const CLI::ParseError& Error) {
    if (Error.get_exit_code() == 0)
      return App.exit(Error); // --help
    std::cerr << "sio: error: " << OneLine(Error.what()) << " (see --help)\n";
    return 2;
  } catch (const siotool::InputError& Error) {
    std::cerr << "sio: error: " << OneLine(Error.what()) << "\n";
    return 2;
  }
  return ExitCode;
}

} // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& Error) {
    std::cerr << "sio: internal error: " << OneLine(Error.what()) << "\n";
  } catch (...) {
    std::cerr << "sio: internal error\n";
  }
  return 2;
}
