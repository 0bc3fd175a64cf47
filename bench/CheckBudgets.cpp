// SPDX-License-Identifier: BSD-2-Clause-Patent
// CI check of the deterministic figures against bench/budgets.json: the bytes
// of both images (IA-32 and X64) and of their TE forms, and the emulator's
// instructions and stack per benchmark scenario.
// Exits 1 with one line per figure over its budget.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "bench/Budgets.h"
#include "bench/ScenarioFigures.h"
#include "common/BuildPaths.h"
#include "pe/ImageFile.h"
#include "pe/TeImage.h"

int main(int argc, char** argv) {
  CLI::App App{"Checks the module image's figures against their budgets"};
  std::string ImagePath = sio::build::kImageFile;
  std::string X64ImagePath = sio::build::kX64ImageFile;
  std::string BudgetsPath = bench::DefaultBudgetsPath();
  App.add_option("--image", ImagePath, "the module image (PE32)")->capture_default_str();
  App.add_option("--x64-image", X64ImagePath, "the X64 module image (PE32+)")
      ->capture_default_str();
  App.add_option("--budgets", BudgetsPath, "budgets file (JSON)")->capture_default_str();
  CLI11_PARSE(App, argc, argv);

  auto Image = pe::ReadFileBytes(ImagePath);
  auto X64Image = pe::ReadFileBytes(X64ImagePath);
  auto Budgets = pe::ReadFileBytes(BudgetsPath);
  if (!Image || !X64Image || !Budgets) {
    std::fprintf(stderr, "sio_budget_check: cannot read %s\n",
                 (!Image      ? ImagePath
                  : !X64Image ? X64ImagePath
                              : BudgetsPath)
                     .c_str());
    return 2;
  }
  bench::MeasuredFigures Figures{
      Image->size(), bench::MeasureScenarios(*Image), {}, bench::MeasureScenarios(*X64Image)};
  Figures.Bytes["x64 image bytes"] = X64Image->size();
  // The setup driver's images, IA-32 and X64.
  for (const auto& [Name, Path] :
       {std::pair{"setup dxe bytes", sio::build::kSetupDxeFile},
        std::pair{"x64 setup dxe bytes", sio::build::kX64SetupDxeFile}}) {
    auto Driver = pe::ReadFileBytes(Path);
    if (!Driver) {
      std::fprintf(stderr, "sio_budget_check: cannot read %s\n", Path);
      return 2;
    }
    Figures.Bytes[Name] = Driver->size();
  }
  // The TE forms, as `sio pack ffs --te` writes them; an image without one
  // fails the check.
  const std::pair<const char*, const std::vector<uint8_t>*> TeForms[] = {
      {"te bytes", &*Image}, {"x64 te bytes", &*X64Image}};
  for (const auto& [Name, Bytes] : TeForms) {
    if (auto Te = pe::ConvertToTe(*Bytes)) {
      Figures.Bytes[Name] = Te->Bytes.size();
    } else {
      std::fprintf(stderr, "sio_budget_check: %s: no TE form: %s\n", Name, Te.Message().c_str());
      return 1;
    }
  }
  bench::BudgetVerdict Verdict = bench::CheckBudgets(
      std::string_view(reinterpret_cast<const char*>(Budgets->data()), Budgets->size()), Figures);

  std::printf("image bytes %llu\n", static_cast<unsigned long long>(Figures.ImageBytes));
  for (const auto& [Name, Figure] : Figures.Bytes)
    std::printf("%s %llu\n", Name.c_str(), static_cast<unsigned long long>(Figure));
  for (const auto& [Mode, Rows] :
       {std::pair{"IA32", &Figures.Scenarios}, std::pair{"X64", &Figures.X64Scenarios}}) {
    for (const auto& Row : *Rows) {
      std::printf("%-4s %-24s %3zu port accesses, %4llu instructions, %3u stack bytes\n", Mode,
                  Row.Name.c_str(), Row.PortAccesses,
                  static_cast<unsigned long long>(Row.Instructions), Row.StackHighWater);
    }
  }
  for (const auto& Note : Verdict.Notes)
    std::printf("note: %s\n", Note.c_str());
  for (const auto& Failure : Verdict.Failures) {
    std::fprintf(stderr, "budget check (%s): %s\n", BudgetsPath.c_str(), Failure.c_str());
  }
  if (!Verdict.Passed())
    return 1;
  std::printf("every figure within its budget (%s)\n", BudgetsPath.c_str());
  return 0;
}
