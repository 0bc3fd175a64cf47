// SPDX-License-Identifier: BSD-2-Clause-Patent
// Runs pass after pass of the module image on one reused emulator engine,
// cycling through the board's scenario catalog, and prints the process's
// resident memory and the time per pass over a window at the start and at
// the end of the run. A healthy engine shows the same figures in both rows:
// nothing it keeps grows with the number of passes.
//
//   sio_engine_soak --passes 2000000 --window 20000
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <unistd.h>

#include "bench/ProcessFigures.h"
#include "board/ScenarioCatalog.h"
#include "common/BuildPaths.h"
#include "emulator/ImageEngine.h"

namespace {

// Processor time this process has used, in microseconds: unlike the wall
// clock, it does not count the time other processes on the machine took.
double CpuMicroseconds() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  auto Us = [](const timeval& T) { return T.tv_sec * 1e6 + static_cast<double>(T.tv_usec); };
  return Us(Usage.ru_utime) + Us(Usage.ru_stime);
}

struct Window {
  uint64_t FirstPass = 0;
  double MicrosecondsPerPass = 0;
  double CpuMicrosecondsPerPass = 0;
  long RssBeforeKib = 0;
  long RssAfterKib = 0;
};

void PrintWindow(const char* Name, const Window& W, uint64_t Passes) {
  std::printf("%-6s passes %9llu-%-9llu %8.2f us/pass (%.2f us processor)  RSS %8ld -> %8ld "
              "KiB\n",
              Name, static_cast<unsigned long long>(W.FirstPass),
              static_cast<unsigned long long>(W.FirstPass + Passes - 1), W.MicrosecondsPerPass,
              W.CpuMicrosecondsPerPass, W.RssBeforeKib, W.RssAfterKib);
}

} // namespace

int main(int argc, char** argv) {
  CLI::App App{"Memory and time per pass of one image engine over a long run"};
  std::string ImagePath = sio::build::kImageFile;
  uint64_t Passes = 2'000'000;
  uint64_t WindowPasses = 20'000;
  App.add_option("--image", ImagePath, "the module image (PE32 for IA-32, PE32+ for X64)")
      ->capture_default_str();
  App.add_option("--passes", Passes, "passes in all")
      ->check(CLI::Range(uint64_t{2}, uint64_t{1} << 40))
      ->capture_default_str();
  App.add_option("--window", WindowPasses, "passes timed at the start and at the end")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  CLI11_PARSE(App, argc, argv);
  WindowPasses = std::min(WindowPasses, Passes / 2);

  std::ifstream In(ImagePath, std::ios::binary);
  if (!In) {
    std::fprintf(stderr, "sio_engine_soak: error: %s: cannot open file\n", ImagePath.c_str());
    return 2;
  }
  std::vector<uint8_t> Image{std::istreambuf_iterator<char>(In), {}};
  emulator::ImageRunOptions Options;
  Options.TimeoutMicroseconds = 0; // as the fuzz target runs it
  emulator::ImageEngine Engine(Image, Options);
  if (!Engine.Ready()) {
    std::fprintf(stderr, "sio_engine_soak: error: %s: %s\n", ImagePath.c_str(),
                 Engine.Error().c_str());
    return 2;
  }
  auto Catalog = board::ScenarioCatalog();

  uint64_t Done = 0;
  uint64_t Failed = 0;
  auto RunWindow = [&](uint64_t Count) {
    Window W;
    W.FirstPass = Done;
    W.RssBeforeKib = bench::ResidentKib();
    auto Start = std::chrono::steady_clock::now();
    double CpuStart = CpuMicroseconds();
    for (uint64_t I = 0; I < Count; ++I, ++Done) {
      if (!Engine.Run(Catalog[Done % Catalog.size()].Scenario).Completed)
        ++Failed;
    }
    std::chrono::duration<double, std::micro> Elapsed = std::chrono::steady_clock::now() - Start;
    W.MicrosecondsPerPass = Elapsed.count() / static_cast<double>(Count);
    W.CpuMicrosecondsPerPass = (CpuMicroseconds() - CpuStart) / static_cast<double>(Count);
    W.RssAfterKib = bench::ResidentKib();
    return W;
  };

  auto Begin = std::chrono::steady_clock::now();
  Window First = RunWindow(WindowPasses);
  uint64_t Middle = Passes - 2 * WindowPasses;
  uint64_t Report = std::max<uint64_t>(Middle / 10, 1);
  while (Done < WindowPasses + Middle) {
    uint64_t Step = std::min(Report, WindowPasses + Middle - Done);
    Window W = RunWindow(Step);
    std::fprintf(stderr, "  %llu passes, %.2f us/pass (%.2f us processor), RSS %ld KiB\n",
                 static_cast<unsigned long long>(Done), W.MicrosecondsPerPass,
                 W.CpuMicrosecondsPerPass, W.RssAfterKib);
  }
  Window Last = RunWindow(WindowPasses);
  std::chrono::duration<double> Total = std::chrono::steady_clock::now() - Begin;

  std::printf("Image engine soak: %llu passes over %zu catalog scenarios, %.1f s\n",
              static_cast<unsigned long long>(Done), Catalog.size(), Total.count());
  PrintWindow("start", First, WindowPasses);
  PrintWindow("end", Last, WindowPasses);
  std::printf(
      "RSS growth: %.3f KiB per 1000 passes; processor time per pass end/start: %.2f\n",
      1000.0 * static_cast<double>(Last.RssAfterKib - First.RssAfterKib) /
          static_cast<double>(Last.FirstPass + WindowPasses - First.FirstPass - WindowPasses),
      Last.CpuMicrosecondsPerPass / First.CpuMicrosecondsPerPass);
  if (Failed) {
    std::printf("%llu passes did not complete\n", static_cast<unsigned long long>(Failed));
    return 1;
  }
  return 0;
}
