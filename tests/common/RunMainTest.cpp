// SPDX-License-Identifier: BSD-2-Clause-Patent
// How a program ends (sio::RunMain): the command's exit code, or the one
// error line and the exit code its kind calls for, whatever way the error
// came: a command's error, a usage error CLI11 found, an exception.
#include "common/RunMain.h"

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <string>
#include <vector>

namespace sio {
namespace {

struct Ended {
  int ExitCode = -1;
  std::string Stderr;
};

// A program with one required subcommand "go" (with a flag), running Body.
Ended RunProgram(std::vector<const char*> Args, const std::function<Result<int>()>& Body) {
  CLI::App App;
  App.name("prog");
  App.require_subcommand(1);
  CLI::App* Go = App.add_subcommand("go", "Go");
  bool Fast = false;
  Go->add_flag("--fast", Fast, "Fast");
  App.add_subcommand("stay", "Stay");
  Args.insert(Args.begin(), "prog");
  testing::internal::CaptureStderr();
  Ended Out;
  Out.ExitCode = RunMain(App, static_cast<int>(Args.size()), const_cast<char**>(Args.data()), [&] {
    App.parse(static_cast<int>(Args.size()), const_cast<char**>(Args.data()));
    return Body();
  });
  Out.Stderr = testing::internal::GetCapturedStderr();
  return Out;
}

TEST(RunMain, ExitCodeFollowsTheErrorsKind) {
  const struct {
    const char* Label;
    std::vector<const char*> Args;
    std::function<Result<int>()> Body;
    int ExitCode;
    const char* Stderr;
  } Cases[] = {
      {"done", {"go"}, [] { return Result<int>(0); }, 0, ""},
      {"a difference", {"go"}, [] { return Result<int>(1); }, 1, ""},
      {"bad input",
       {"go"},
       [] { return Result<int>(Fail("x.json: chip.port: bad")); },
       2,
       "sio: error: x.json: chip.port: bad\n"},
      {"refused",
       {"go"},
       [] { return Result<int>(Fail(ErrorKind::Refused, "out: exists")); },
       2,
       "sio: error: out: exists\n"},
      {"I/O",
       {"go"},
       [] { return Result<int>(Fail(ErrorKind::Io, "dev: no such device")); },
       2,
       "sio: error: dev: no such device\n"},
      {"a failed check",
       {"go"},
       [] { return Result<int>(Fail(ErrorKind::Failed, "no chip")); },
       1,
       "sio: error: no chip\n"},
      {"a line that would break",
       {"go"},
       [] { return Result<int>(Fail("a\nb\tc")); },
       2,
       "sio: error: a?b?c\n"},
      {"an exception",
       {"go"},
       []() -> Result<int> { throw std::runtime_error("boom"); },
       2,
       "sio: error: internal error: boom\n"},
      {"anything thrown",
       {"go"},
       []() -> Result<int> { throw 7; },
       2,
       "sio: error: internal error\n"},
      {"an unknown option",
       {"go", "--slow"},
       [] { return Result<int>(0); },
       2,
       "sio: error: The following argument was not expected: --slow (see --help)\n"},
      {"no command",
       {},
       [] { return Result<int>(0); },
       2,
       "sio: error: prog: give a command: go, stay\n"},
      {"no such command",
       {"went"},
       [] { return Result<int>(0); },
       2,
       "sio: error: prog: no command called \"went\" (commands: go, stay)\n"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Label);
    const Ended Got = RunProgram(C.Args, C.Body);
    EXPECT_EQ(Got.ExitCode, C.ExitCode);
    EXPECT_EQ(Got.Stderr, C.Stderr);
  }
}

// An error a held signal caused is reported, then the process ends by it.
void EndInterrupted() {
  std::signal(SIGTERM, [](int) {});
  CLI::App App;
  char Name[] = "prog";
  char* Argv[] = {Name, nullptr};
  RunMain(App, 1, Argv, [] {
    return Result<int>(Error{"port: interrupted by SIGTERM", ErrorKind::Failed, SIGTERM});
  });
  std::exit(0);
}

TEST(RunMain, AnErrorWithASignalEndsByIt) {
  EXPECT_EXIT(EndInterrupted(), testing::KilledBySignal(SIGTERM),
              "sio: error: port: interrupted by SIGTERM");
}

} // namespace
} // namespace sio
