// SPDX-License-Identifier: BSD-2-Clause-Patent
// Fuzz target: one pass of each shipped image (IA-32 and X64), run in the CPU
// emulator, on a board the fuzzer's bytes describe. Each run must complete,
// keep every invariant, and leave exactly the trace and status of the host
// build.
#include <array>
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

std::vector<uint8_t> ReadImage(const char* Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) {
    std::fprintf(stderr, "cannot read the module image %s\n", Path);
    std::abort();
  }
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

[[noreturn]] void Report(const board::Scenario& Scenario, const board::PassResult& Result,
                         const std::vector<std::string>& Violations) {
  std::fputs(fuzzing::Describe(Scenario, Result, Violations).c_str(), stderr);
  std::abort();
}

// One engine per image for the whole session, made on the first input: building an
// emulator and loading the image costs far more than a pass. Its runs are not
// rehearsed in a child process; libFuzzer's own -timeout and crash handling
// catch what a rehearsal would, and the instruction bound stops a runaway
// without a timer thread per pass.
emulator::ImageEngine MakeEngine(const char* Path) {
  emulator::ImageRunOptions Options;
  Options.TimeoutMicroseconds = 0;
  return emulator::ImageEngine(ReadImage(Path), Options);
}

struct ImageUnderTest {
  const char* Name;
  emulator::ImageEngine& Engine;
};

std::array<ImageUnderTest, 2> Images() {
  static emulator::ImageEngine Ia32 = MakeEngine(sio::build::kImageFile);
  static emulator::ImageEngine X64 = MakeEngine(sio::build::kX64ImageFile);
  return {{{"IA-32", Ia32}, {"X64", X64}}};
}

board::PassResult ImagePass(const ImageUnderTest& Image, const board::Scenario& Scenario) {
  emulator::ImageRunReport Run = Image.Engine.Run(Scenario);
  if (!Run.Completed) {
    Report(Scenario, Run.Result,
           {std::string("the ") + Image.Name + " image did not complete: " + Run.Fault});
  }
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
  board::Scenario Scenario = fuzzing::ScenarioFromBytes(Data, Size);
  board::PassResult Host = engine::RunHostPass(Scenario);
  for (const ImageUnderTest& Image : Images()) {
    auto Rerun = [&](const board::Scenario& Again) { return ImagePass(Image, Again); };
    board::PassResult Result = Rerun(Scenario);
    auto Violations = invariants::CheckPass(Scenario, Result, Rerun);
    if (Host.Events != Result.Events || Host.Status != Result.Status) {
      Violations.push_back(std::string("the ") + Image.Name +
                           " image and the host build differ; the host build's trace:");
      for (const auto& E : Host.Events)
        Violations.push_back("  " + pi::FormatEvent(E));
    }
    if (!Violations.empty())
      Report(Scenario, Result, Violations);
  }
  return 0;
}
