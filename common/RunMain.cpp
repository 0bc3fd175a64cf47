// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/RunMain.h"

#include <csignal>
#include <exception>
#include <pthread.h>
#include <string>

#include "common/ErrorReport.h"
#include "common/JsonFields.h"

namespace sio {
namespace {

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

// A usage error CLI11 found: --help and --version end well, the rest is bad input.
Result<int> UsageOutcome(CLI::App& App, const CLI::ParseError& Error, int argc, char** argv) {
  if (Error.get_exit_code() == 0)
    return App.exit(Error);
  CLI::App* Command = DeepestCommand(App);
  if (Command->get_require_subcommand_min() > 0 && Command->get_subcommands().empty())
    return Fail(MissingSubcommand(*Command, argc, argv));
  return Fail(std::string(Error.what()) + " (see --help)");
}

Result<int> Outcome(CLI::App& App, int argc, char** argv,
                    const std::function<Result<int>()>& ParseAndRun) {
  try {
    return ParseAndRun();
  } catch (const CLI::ParseError& Error) {
    return UsageOutcome(App, Error, argc, argv);
  } catch (const std::exception& Error) {
    return Fail(std::string("internal error: ") + Error.what());
  } catch (...) {
    return Fail("internal error");
  }
}

} // namespace

int RunMain(CLI::App& App, int argc, char** argv, const std::function<Result<int>()>& ParseAndRun) {
  const Result<int> Done = Outcome(App, argc, argv, ParseAndRun);
  if (Done)
    return *Done;
  ReportError(Done.Message());
  if (Done.Failure().Signal != 0)
    return EndBySignal(Done.Failure().Signal);
  return ExitCodeFor(Done.Kind());
}

int EndBySignal(int Signal) {
  std::signal(Signal, SIG_DFL);
  sigset_t Only;
  sigemptyset(&Only);
  sigaddset(&Only, Signal);
  pthread_sigmask(SIG_UNBLOCK, &Only, nullptr);
  std::raise(Signal);
  return 128 + Signal;
}

} // namespace sio
