// SPDX-License-Identifier: BSD-2-Clause-Patent
// Fuzz target: one pass of the shipped image, run in the CPU emulator, on a
// board the fuzzer's bytes describe. The run must complete, keep every
// invariant, and leave exactly the trace and status of the host build.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

#include "common/BuildPaths.h"
#include "emulator/ImageEngine.h"
#include "engine/HostEngine.h"
#include "fuzz/FuzzScenario.h"
#include "invariants/PassInvariants.h"

namespace {

const std::vector<uint8_t>& Image() {
  static const std::vector<uint8_t> Bytes = [] {
    std::ifstream In(sio::build::kImageFile, std::ios::binary);
    if (!In) {
      std::fprintf(stderr, "cannot read the module image %s\n", sio::build::kImageFile);
      std::abort();
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
  }();
  return Bytes;
}

[[noreturn]] void Report(const board::Scenario& Config, const board::PassResult& Result,
                         const std::vector<std::string>& Violations) {
  std::fputs(fuzzing::Describe(Config, Result, Violations).c_str(), stderr);
  std::abort();
}

// One engine for the whole session, made on the first input: building an
// emulator and loading the image costs far more than a pass. Its runs are not
// rehearsed in a child process; libFuzzer's own -timeout and crash handling
// catch what a rehearsal would, and the instruction bound stops a runaway
// without a timer thread per pass.
emulator::ImageEngine& Engine() {
  static emulator::ImageEngine Instance = [] {
    emulator::ImageRunOptions Options;
    Options.TimeoutMicroseconds = 0;
    return emulator::ImageEngine(Image(), Options);
  }();
  return Instance;
}

board::PassResult ImagePass(const board::Scenario& Config) {
  emulator::ImageRunReport Run = Engine().Run(Config);
  if (!Run.Completed)
    Report(Config, Run.Result, {"the image did not complete: " + Run.Fault});
  return Run.Result;
}

} // namespace

// Unicorn keeps one small allocation for every emulator start, so every
// input has more mallocs than frees and libFuzzer would run a full leak scan
// of the emulator's memory after each one (a hundred times the pass). Leak
// checking is left to the host fuzz target, which runs the same board code;
// a -detect_leaks given on the command line still wins.
extern "C" int LLVMFuzzerInitialize(int* Argc, char*** Argv) {
  static std::vector<char*> Args;
  Args.assign(*Argv, *Argv + *Argc);
  bool Given = false;
  for (char* Arg : Args)
    Given = Given || std::string_view(Arg).starts_with("-detect_leaks=");
  if (!Given) {
    static char NoLeakScan[] = "-detect_leaks=0";
    Args.insert(Args.begin() + 1, NoLeakScan);
    *Argc = static_cast<int>(Args.size());
    Args.push_back(nullptr);
    *Argv = Args.data();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  board::Scenario Config = fuzzing::ScenarioFromBytes(Data, Size);
  board::PassResult Result = ImagePass(Config);
  auto Violations = invariants::CheckPass(Config, Result, ImagePass);
  board::PassResult Host = engine::RunHostPass(Config);
  if (Host.Events != Result.Events || Host.Status != Result.Status) {
    Violations.push_back("the image and the host build differ; the host build's trace:");
    for (const auto& E : Host.Events)
      Violations.push_back("  " + pi::FormatEvent(E));
  }
  if (!Violations.empty())
    Report(Config, Result, Violations);
  return 0;
}
