// SPDX-License-Identifier: BSD-2-Clause-Patent
// Prints the footprint and speed of the module in one table: image bytes by
// part, per scenario port accesses, emulator instructions and stack, and
// passes per second of the host build and of the emulator (timed with Google
// Benchmark). The deterministic figures are judged by their budgets in
// bench/budgets.json, the ones CI enforces (sio_budget_check); timings are
// printed, never judged.
#include <benchmark/benchmark.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <map>
#include <tuple>

#include "bench/FigureTable.h"
#include "bench/ImageFootprint.h"
#include "bench/ScenarioFigures.h"
#include "board/ScenarioCatalog.h"
#include "common/BuildPaths.h"
#include "emulator/ImageEngine.h"
#include "engine/HostEngine.h"
#include "inspect/BoardPorts.h"
#include "inspect/ChipReader.h"
#include "pe/ImageFile.h"
#include "pe/PeFile.h"

namespace {

// Keeps each benchmark's passes per second instead of printing Google
// Benchmark's own report: the figures go into the one table.
class RateCollector : public benchmark::BenchmarkReporter {
public:
  bool ReportContext(const Context&) override { return true; }
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const auto& Run : Runs) {
      auto It = Run.counters.find("items_per_second");
      if (!Run.error_occurred && It != Run.counters.end()) {
        Rates[Run.benchmark_name()] = It->second.value;
      } else if (Run.error_occurred) {
        Errors.push_back(Run.benchmark_name() + ": " + Run.error_message);
      }
    }
  }
  std::map<std::string, double> Rates;
  std::vector<std::string> Errors;
};

std::optional<double> RateOf(const RateCollector& Collector, const std::string& Name) {
  auto It = Collector.Rates.find(Name);
  return It == Collector.Rates.end() ? std::nullopt : std::optional<double>(It->second);
}

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv); // takes the --benchmark_* options

  CLI::App App{"Footprint and speed of the module image, in one table"};
  std::string ImagePath = sio::build::kImageFile;
  std::string MapPath = sio::build::kImageMap;
  std::string ScenarioName = "default";
  std::string BudgetsPath = bench::DefaultBudgetsPath();
  App.add_option("--image", ImagePath, "the module image (PE32 for IA-32, PE32+ for X64)")
      ->capture_default_str();
  App.add_option("--map", MapPath, "the image's link map")->capture_default_str();
  App.add_option("--timed-scenario", ScenarioName, "catalog scenario the timed passes run")
      ->capture_default_str();
  App.add_option("--budgets", BudgetsPath, "budgets file (JSON) the goals are read from")
      ->capture_default_str();
  CLI11_PARSE(App, argc, argv);

  auto Image = pe::ReadFileBytes(ImagePath);
  auto Map = pe::ReadFileBytes(MapPath);
  auto BudgetsText = pe::ReadFileBytes(BudgetsPath);
  if (!Image || !Map || !BudgetsText) {
    std::fprintf(stderr, "sio_bench: cannot read %s\n",
                 (!Image ? ImagePath
                  : !Map ? MapPath
                         : BudgetsPath)
                     .c_str());
    return 2;
  }
  auto Budgets = bench::ReadBudgets(
      std::string_view(reinterpret_cast<const char*>(BudgetsText->data()), BudgetsText->size()));
  if (!Budgets) {
    std::fprintf(stderr, "sio_bench: %s: %s\n", BudgetsPath.c_str(), Budgets.Message().c_str());
    return 2;
  }
  // The X64 image's figures are judged by the budgets named "x64 ...".
  auto Pe = pe::ReadPeFile(*Image);
  const bench::ImageMode& Mode =
      Pe && Pe->Machine == pe::kMachineX64 ? bench::kX64Mode : bench::kIa32Mode;
  auto Footprint = bench::MeasureFootprint(
      *Image, std::string_view(reinterpret_cast<const char*>(Map->data()), Map->size()));
  if (!Footprint.Footprint) {
    std::fprintf(stderr, "sio_bench: %s\n", Footprint.Error.c_str());
    return 2;
  }
  const board::NamedScenario* Timed = board::FindScenario(ScenarioName);
  if (!Timed) {
    std::fprintf(stderr, "sio_bench: no scenario \"%s\" in the catalog\n", ScenarioName.c_str());
    return 2;
  }
  std::vector<bench::ScenarioFigures> Scenarios = bench::MeasureScenarios(*Image);

  benchmark::RegisterBenchmark("host pass", [&](benchmark::State& State) {
    // One board reset between passes, as the emulator's engine reuses one CPU.
    engine::HostEngine Engine;
    for (auto _ : State) {
      benchmark::DoNotOptimize(Engine.Run(Timed->Scenario));
      benchmark::DoNotOptimize(Engine.Events().data());
    }
    State.SetItemsProcessed(State.iterations());
  });
  benchmark::RegisterBenchmark("emulator pass", [&](benchmark::State& State) {
    // The instruction bound alone stops a runaway: a wall-clock limit would
    // start a timer thread per pass, which costs more than the pass.
    emulator::ImageRunOptions Options;
    Options.TimeoutMicroseconds = 0;
    emulator::ImageEngine Engine(*Image, Options);
    if (!Engine.Ready()) {
      State.SkipWithError(Engine.Error().c_str());
      return;
    }
    for (auto _ : State)
      benchmark::DoNotOptimize(Engine.Run(Timed->Scenario).Instructions);
    State.SetItemsProcessed(State.iterations());
  });
  RateCollector Collector;
  benchmark::RunSpecifiedBenchmarks(&Collector);

  bench::Throughput Speed{RateOf(Collector, "host pass"), RateOf(Collector, "emulator pass")};
  auto Rows = bench::BuildFigureRows(*Footprint.Footprint, Scenarios, Speed, *Budgets, Mode);
  // The setup driver's images, each judged by its own budget.
  for (const auto& [Name, Path, Budget] :
       {std::tuple{"setup driver (IA-32): total bytes", sio::build::kSetupDxeFile,
                   "setup dxe bytes"},
        std::tuple{"setup driver (X64): total bytes", sio::build::kX64SetupDxeFile,
                   "x64 setup dxe bytes"}}) {
    std::error_code DriverError;
    auto Bytes = std::filesystem::file_size(Path, DriverError);
    if (DriverError)
      Rows.push_back({Name, "n/a", "", ""});
    else
      Rows.push_back(bench::BudgetRow(Name, Bytes, Budgets->Limit(Budget)));
  }
  // sio-inspect: the file copied onto a board, and the accesses it makes there.
  std::error_code SizeError;
  auto InspectBytes = std::filesystem::file_size(sio::build::kInspectFile, SizeError);
  Rows.push_back({"sio-inspect: total bytes (static, stripped)",
                  SizeError ? "n/a" : std::to_string(InspectBytes), "", ""});
  for (bool All : {false, true}) {
    engine::HostEngine Engine;
    Engine.Run(Timed->Scenario);
    inspect::BoardPorts Ports(Engine.Target().Bus());
    auto Reading = inspect::InspectChip(Ports, {std::nullopt, All});
    Rows.push_back({std::string("sio inspect") + (All ? " --all" : "") + ": port accesses",
                    Reading ? std::to_string(Reading->Accesses.size()) : "n/a", "", ""});
  }
  std::printf("%s", bench::FormatFigureTable(Rows).c_str());
  std::printf("timed passes: scenario \"%s\"; image %s\n", ScenarioName.c_str(), ImagePath.c_str());
  std::printf("goals: the budgets of %s\n", BudgetsPath.c_str());
  for (const auto& Error : Collector.Errors)
    std::fprintf(stderr, "sio_bench: %s\n", Error.c_str());
  return 0;
}
