// SPDX-License-Identifier: BSD-2-Clause-Patent
// The benchmark's figures and budgets: the budget check names the figure, the
// budget and the difference; the budgets read as numbers are the table's
// goals; the image footprint accounts for every byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "bench/Budgets.h"
#include "bench/FigureTable.h"
#include "bench/ImageFootprint.h"
#include "bench/ScenarioFigures.h"
#include "common/BuildPaths.h"
#include "pe/ImageFile.h"

namespace {

bench::ScenarioFigures Row(const char* Name, uint64_t Instructions, uint32_t Stack,
                           std::string Fault = "") {
  bench::ScenarioFigures R;
  R.Name = Name;
  R.Label = Name;
  R.PortAccesses = 36;
  R.Instructions = Instructions;
  R.StackHighWater = Stack;
  R.Fault = std::move(Fault);
  return R;
}

const bench::MeasuredFigures kFigures{
    1008, {Row("typical", 190, 120), Row("no-chip", 300, 40)}, {}, {}};

TEST(Budgets, VerdictNamesFigureBudgetAndDifference) {
  struct Case {
    const char* Name;
    std::string Json;
    bench::MeasuredFigures Figures;
    std::vector<std::string> Failures; // substrings, one per expected failure line
    size_t Notes;
  } Cases[] = {
      {"all at budget",
       R"({"image bytes": 1008, "stack bytes": 120, "instructions": {"typical": 190, "no-chip": 300}})",
       kFigures,
       {},
       0},
      {"image over",
       R"({"image bytes": 1000, "stack bytes": 120, "instructions": {"typical": 190, "no-chip": 300}})",
       kFigures,
       {"image bytes: 1008, budget 1000, over by 8"},
       0},
      {"instructions over, stack under",
       R"({"image bytes": 1008, "stack bytes": 128, "instructions": {"typical": 180, "no-chip": 300}})",
       kFigures,
       {"instructions of typical: 190, budget 180, over by 10"},
       1},
      {"stack takes the deepest scenario",
       R"({"image bytes": 1008, "stack bytes": 100, "instructions": {"typical": 190, "no-chip": 300}})",
       kFigures,
       {"stack high-water bytes (deepest scenario): 120, budget 100, over by 20"},
       0},
      {"scenario without budget",
       R"({"image bytes": 1008, "stack bytes": 120, "instructions": {"typical": 190}})",
       kFigures,
       {"no budget for instructions of no-chip (measured 300)"},
       0},
      {"budget without scenario",
       R"({"image bytes": 1008, "stack bytes": 120, "instructions": {"typical": 190, "no-chip": 300, "gone": 5}})",
       kFigures,
       {"budget for instructions of gone names no benchmark scenario"},
       0},
      {"negative or text budget",
       R"({"image bytes": -1, "stack bytes": "128", "instructions": {"typical": 190, "no-chip": 300}})",
       kFigures,
       {"budget for image bytes is not a non-negative integer: -1",
        "budget for stack high-water bytes (deepest scenario) is not a non-negative integer: "
        "\"128\""},
       0},
      {"not JSON", "{image bytes: 1008", kFigures, {"budgets are not a JSON object"}, 0},
      {"X64 and TE bytes over and without budget",
       R"({"image bytes": 1008, "x64 image bytes": 1080, "stack bytes": 120,
           "instructions": {"typical": 190, "no-chip": 300}})",
       bench::MeasuredFigures{1008,
                              {Row("typical", 190, 120), Row("no-chip", 300, 40)},
                              {{"x64 image bytes", 1088}, {"x64 te bytes", 900}},
                              {}},
       {"x64 image bytes: 1088, budget 1080, over by 8",
        "no budget for x64 te bytes (measured 900)"},
       0},
      {"X64 passes held to their own budgets",
       R"({"image bytes": 1008, "stack bytes": 120, "instructions": {"typical": 190, "no-chip": 300},
           "x64 stack bytes": 100, "x64 instructions": {"typical": 200, "gone": 5}})",
       bench::MeasuredFigures{1008,
                              {Row("typical", 190, 120), Row("no-chip", 300, 40)},
                              {},
                              {Row("typical", 210, 176), Row("no-chip", 310, 32)}},
       {"X64 instructions of typical: 210, budget 200, over by 10",
        "no budget for X64 instructions of no-chip (measured 310)",
        "budget for X64 instructions of gone names no benchmark scenario",
        "X64 stack high-water bytes (deepest scenario): 176, budget 100, over by 76"},
       0},
      {"X64 passes without budgets",
       R"({"image bytes": 1008, "stack bytes": 120, "instructions": {"typical": 190, "no-chip": 300}})",
       bench::MeasuredFigures{1008,
                              {Row("typical", 190, 120), Row("no-chip", 300, 40)},
                              {},
                              {Row("typical", 190, 120)}},
       {"no \"x64 instructions\" object of budgets",
        "no budget for X64 instructions of typical (measured 190)",
        "no budget for X64 stack high-water bytes (deepest scenario) (measured 120)"},
       0},
      {"faulted run",
       R"({"image bytes": 1008, "stack bytes": 120, "instructions": {"typical": 190}})",
       bench::MeasuredFigures{
           1008, {Row("typical", 190, 120, "runaway: 1000000 instructions")}, {}, {}},
       {"scenario typical did not complete: runaway: 1000000 instructions"},
       0},
  };
  for (const auto& C : Cases) {
    bench::BudgetVerdict V = bench::CheckBudgets(C.Json, C.Figures);
    ASSERT_EQ(V.Failures.size(), C.Failures.size())
        << C.Name << ": " << testing::PrintToString(V.Failures);
    for (size_t I = 0; I < C.Failures.size(); ++I) {
      EXPECT_NE(V.Failures[I].find(C.Failures[I]), std::string::npos)
          << C.Name << ": " << V.Failures[I];
    }
    EXPECT_EQ(V.Passed(), C.Failures.empty()) << C.Name;
    EXPECT_EQ(V.Notes.size(), C.Notes) << C.Name;
  }
}

std::string MapText() {
  auto Map = pe::ReadFileBytes(sio::build::kImageMap);
  return Map ? std::string(Map->begin(), Map->end()) : std::string();
}

TEST(ImageFootprint, EveryByteOfTheShippedImageIsAccountedFor) {
  auto Image = pe::ReadFileBytes(sio::build::kImageFile);
  ASSERT_TRUE(Image);
  auto R = bench::MeasureFootprint(*Image, MapText());
  ASSERT_TRUE(R.Footprint) << R.Error;
  const auto& F = *R.Footprint;
  EXPECT_EQ(F.FileBytes, Image->size());
  EXPECT_EQ(uint64_t(F.HeaderBytes) + F.CodeBytes + F.ReadOnlyDataBytes + F.RelocationBytes +
                F.PaddingBytes,
            F.FileBytes);
  EXPECT_GT(F.CodeBytes, 0u);
  // GUIDs (3 x 16), variable name (36), script, candidate ports, PPI descriptor.
  EXPECT_GE(F.ReadOnlyDataBytes, 3u * 16 + 36 + 24 + 8 + 12);
  EXPECT_GT(F.RelocationBytes, 8u); // one block header and at least one fixup
  EXPECT_EQ(F.WritableDataBytes, 0u);
  EXPECT_LT(F.PaddingBytes, 16u);
  // TE drops the DOS and PE headers for 40 bytes; the section table stays.
  ASSERT_TRUE(F.TeError.empty()) << F.TeError;
  EXPECT_EQ(F.TeFileBytes - F.TeHeaderBytes, F.FileBytes - F.HeaderBytes);
  EXPECT_GE(F.TeHeaderBytes, 40u + 2 * 40u);
  EXPECT_LT(F.TeFileBytes, F.FileBytes);
}

TEST(ImageFootprint, MapThatDoesNotFitTheImageIsRejected) {
  auto Image = pe::ReadFileBytes(sio::build::kImageFile);
  ASSERT_TRUE(Image);
  struct Case {
    const char* Name;
    std::string Map;
    const char* Error;
  } Cases[] = {
      {"empty map", "", "no section contributions"},
      {"header and symbols only",
       " Start         Length     Name                   Class\n"
       " 0001:00000000       _SioEntryPoint             00000000fffc01c0     x.lto.obj\n",
       "no section contributions"},
      {"code larger than the file", " 0001:00000000 00010000H .text                   CODE\n",
       "does not describe this image"},
  };
  for (const auto& C : Cases) {
    auto R = bench::MeasureFootprint(*Image, C.Map);
    EXPECT_FALSE(R.Footprint) << C.Name;
    EXPECT_NE(R.Error.find(C.Error), std::string::npos) << C.Name << ": " << R.Error;
  }
  std::vector<uint8_t> NotPe(Image->begin(), Image->begin() + 100);
  EXPECT_FALSE(bench::MeasureFootprint(NotPe, MapText()).Footprint);
}

TEST(Budgets, ReadAsNumbersOrRefusedNamingTheValue) {
  auto Read = bench::ReadBudgets(
      R"({"image bytes": 968, "x64 te bytes": 800,
          "instructions": {"chip-4e-no-variable": 202, "no-chip": 112},
          "x64 instructions": {"no-chip": 115}})");
  ASSERT_TRUE(Read) << Read.Message();
  EXPECT_EQ(Read->Limit("image bytes"), 968u);
  EXPECT_EQ(Read->Limit("x64 te bytes"), 800u);
  EXPECT_EQ(Read->Limit("stack bytes"), std::nullopt);
  EXPECT_EQ(Read->InstructionsOf("instructions", "chip-4e-no-variable"), 202u);
  EXPECT_EQ(Read->InstructionsOf("x64 instructions", "no-chip"), 115u);
  EXPECT_EQ(Read->InstructionsOf("x64 instructions", "chip-4e-no-variable"), std::nullopt);
  EXPECT_EQ(Read->InstructionsOf("x64 stack bytes", "no-chip"), std::nullopt);

  struct Case {
    const char* Name;
    const char* Json;
    const char* Error;
  } Cases[] = {
      {"not JSON", "{image bytes: 968", "budgets are not a JSON object"},
      {"an array", "[968]", "budgets are not a JSON object"},
      {"negative", R"({"image bytes": -1})",
       "budget \"image bytes\" is not a non-negative integer: -1"},
      {"fraction", R"({"stack bytes": 120.5})", "budget \"stack bytes\" is not a non-negative"},
      {"text in an object", R"({"instructions": {"no-chip": "112"}})",
       "budget \"instructions\" of no-chip is not a non-negative integer: \"112\""},
  };
  for (const auto& C : Cases) {
    auto Refused = bench::ReadBudgets(C.Json);
    ASSERT_FALSE(Refused) << C.Name;
    EXPECT_EQ(Refused.Kind(), sio::ErrorKind::BadInput) << C.Name;
    EXPECT_NE(Refused.Message().find(C.Error), std::string::npos)
        << C.Name << ": " << Refused.Message();
  }
}

TEST(FigureTable, GoalsAreJudgedAtTheirEdges) {
  auto Budgets = bench::ReadBudgets(
      R"({"image bytes": 1024, "te bytes": 700, "stack bytes": 128,
          "instructions": {"chip-4e-no-variable": 200, "no-chip": 217},
          "x64 image bytes": 1100, "x64 stack bytes": 176,
          "x64 instructions": {"chip-4e-no-variable": 222}})");
  ASSERT_TRUE(Budgets) << Budgets.Message();
  bench::ImageFootprint Image;
  Image.FileBytes = 1025;
  Image.TeFileBytes = 701;
  std::vector<bench::ScenarioFigures> Rows = {Row("chip-4e-no-variable", 200, 129),
                                              Row("no-chip", 217, 128)};
  struct Expected {
    const char* Figure;
    const char* Goal;
    const char* Met;
  };
  struct Case {
    const char* Name;
    const bench::ImageMode& Mode;
    std::vector<Expected> Figures;
  } Cases[] = {
      {"IA-32: the unprefixed budgets",
       bench::kIa32Mode,
       {{"image: total bytes (PE32)", "<= 1024", "no"},
        {"TE image: total bytes", "<= 700", "no"},
        {"chip-4e-no-variable: instructions", "<= 200", "yes"},
        {"chip-4e-no-variable: stack high-water bytes", "<= 128", "no"},
        {"no-chip: instructions", "<= 217", "yes"},
        {"no-chip: stack high-water bytes", "<= 128", "yes"},
        {"chip-4e-no-variable: instructions per port access", "", ""},
        {"host build: passes per second, one core", "", ""},
        {"emulator: passes per second, one core, one engine", "", ""}}},
      {"X64: the budgets named x64, none where there is none",
       bench::kX64Mode,
       {{"image: total bytes (PE32+)", "<= 1100", "yes"},
        {"TE image: total bytes", "", ""},
        {"chip-4e-no-variable: instructions", "<= 222", "yes"},
        {"chip-4e-no-variable: stack high-water bytes", "<= 176", "yes"},
        {"no-chip: instructions", "", ""}}},
  };
  for (const auto& C : Cases) {
    auto Table = bench::BuildFigureRows(Image, Rows, {999'999.0, 20'000.0}, *Budgets, C.Mode);
    for (const auto& E : C.Figures) {
      auto It = std::find_if(Table.begin(), Table.end(),
                             [&](const bench::FigureRow& R) { return R.Figure == E.Figure; });
      ASSERT_NE(It, Table.end()) << C.Name << ": " << E.Figure;
      EXPECT_EQ(It->Goal, E.Goal) << C.Name << ": " << E.Figure;
      EXPECT_EQ(It->Met, E.Met) << C.Name << ": " << E.Figure;
    }
    std::string Text = bench::FormatFigureTable(Table);
    EXPECT_NE(Text.find("999,999"), std::string::npos) << Text;
  }
}

TEST(FigureTable, TheShippedImagesMeetEveryGoal) {
  auto Text = pe::ReadFileBytes(bench::DefaultBudgetsPath());
  ASSERT_TRUE(Text);
  auto Budgets = bench::ReadBudgets(
      std::string_view(reinterpret_cast<const char*>(Text->data()), Text->size()));
  ASSERT_TRUE(Budgets) << Budgets.Message();
  struct Case {
    const char* Image;
    const char* Map;
    const bench::ImageMode& Mode;
  } Cases[] = {{sio::build::kImageFile, sio::build::kImageMap, bench::kIa32Mode},
               {sio::build::kX64ImageFile, sio::build::kX64ImageMap, bench::kX64Mode}};
  for (const auto& C : Cases) {
    auto Image = pe::ReadFileBytes(C.Image);
    auto Map = pe::ReadFileBytes(C.Map);
    ASSERT_TRUE(Image && Map) << C.Image;
    auto Footprint = bench::MeasureFootprint(
        *Image, std::string_view(reinterpret_cast<const char*>(Map->data()), Map->size()));
    ASSERT_TRUE(Footprint.Footprint) << Footprint.Error;
    auto Table = bench::BuildFigureRows(*Footprint.Footprint, bench::MeasureScenarios(*Image), {},
                                        *Budgets, C.Mode);
    // Image and TE bytes, and the instructions and stack of each scenario.
    size_t Judged = 0;
    for (const auto& R : Table) {
      EXPECT_NE(R.Met, "no") << C.Image << ": " << R.Figure << " " << R.Value << " " << R.Goal;
      Judged += !R.Met.empty();
    }
    EXPECT_EQ(Judged, 2 + 2 * bench::BenchScenarios().size()) << C.Image;
  }
}

} // namespace
