// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio`: runs the F81216a bring-up module on the simulated board and shows
// what it did in the chip's own terms; builds and reads setup variables.
//
// Exit codes: 0 success, 1 a difference or a failed check, 2 a usage or input
// error (one line on stderr); `sio inspect` interrupted by a signal ends,
// after that line, by the signal. No input makes it crash or throw past main.
#include <CLI/CLI.hpp>

#include <exception>
#include <string>

#include "common/ErrorReport.h"
#include "common/InputError.h"
#include "common/JsonFields.h"
#include "common/Version.h"
#include "inspect/SignalHold.h"
#include "tool/Commands.h"
#include "tool/Engine.h"
#include "tool/OptionRules.h"

namespace {

// Its one error line (common/ErrorReport.h), and the exit code its kind calls
// for (bad input or usage: 2).
int ReportError(std::string Message, sio::ErrorKind Kind = sio::ErrorKind::BadInput) {
  sio::ReportError(std::move(Message));
  return sio::ExitCodeFor(Kind);
}

// The deepest command the arguments named ("sio", "sio var", ...).
CLI::App* DeepestCommand(CLI::App& App) {
  CLI::App* Command = &App;
  for (auto Parsed = Command->get_subcommands(); !Parsed.empty();
       Parsed = Command->get_subcommands()) {
    Command = Parsed.front();
  }
  return Command;
}

// For a command that needs a subcommand and got none: which word was not
// one (the first argument after the command's own name that is no option),
// and which subcommands exist.
std::string MissingSubcommand(CLI::App& Command, int argc, char** argv) {
  std::string Path = Command.get_name();
  for (const CLI::App* Parent = Command.get_parent(); Parent; Parent = Parent->get_parent())
    Path = Parent->get_name() + " " + Path;
  std::string Known;
  for (const CLI::App* Sub : Command.get_subcommands([](CLI::App*) { return true; }))
    Known += (Known.empty() ? "" : ", ") + Sub->get_name();
  int First = 1;
  if (Command.get_parent()) {
    for (int I = 1; I < argc; ++I) {
      if (Command.get_name() == argv[I]) {
        First = I + 1;
        break;
      }
    }
  }
  for (int I = First; I < argc; ++I) {
    if (argv[I][0] != '-')
      return Path + ": no command called " + siotool::Quoted(argv[I]) + " (commands: " + Known +
             ")";
  }
  return Path + ": give a command: " + Known;
}

int Run(int argc, char** argv) {
  CLI::App App{"Runs the F81216a bring-up module on a simulated board and shows what it did"};
  App.name("sio");
  App.set_version_flag("--version", std::string("sio ") + sio::kVersion);
  App.require_subcommand(1);
  int ExitCode = 0;
  siotool::AddCommands(App, ExitCode);
  siotool::RefuseEmptyValues(App);
  try {
    App.parse(argc, argv);
  } catch (const CLI::ParseError& Error) {
    if (Error.get_exit_code() == 0)
      return App.exit(Error); // --help
    CLI::App* Command = DeepestCommand(App);
    if (Command->get_require_subcommand_min() > 0 && Command->get_subcommands().empty())
      return ReportError(MissingSubcommand(*Command, argc, argv));
    return ReportError(std::string(Error.what()) + " (see --help)");
  } catch (const inspect::Interrupted& Error) {
    ReportError(Error.what());
    return inspect::EndBySignal(Error.Signal);
  } catch (const siotool::InputError& Error) {
    return ReportError(Error.what(), Error.Kind);
  }
  return ExitCode;
}

} // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& Error) {
    return ReportError(std::string("internal error: ") + Error.what());
  } catch (...) {
    return ReportError("internal error");
  }
}
