// SPDX-License-Identifier: BSD-2-Clause-Patent
// The benchmark's figures and budgets: the budget check names the figure, the
// budget and the difference; the image footprint accounts for every byte.
#include <gtest/gtest.h>

#include <string>

#include "bench/Budgets.h"
#include "bench/FigureTable.h"
#include "bench/ImageFootprint.h"
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
    1008, {Row("typical", 190, 120), Row("no-chip", 300, 40)}, {}};

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
                              {{"x64 image bytes", 1088}, {"x64 te bytes", 900}}},
       {"x64 image bytes: 1088, budget 1080, over by 8",
        "no budget for x64 te bytes (measured 900)"},
       0},
      {"faulted run",
       R"({"image bytes": 1008, "stack bytes": 120, "instructions": {"typical": 190}})",
       bench::MeasuredFigures{
           1008, {Row("typical", 190, 120, "runaway: 1000000 instructions")}, {}},
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

TEST(FigureTable, GoalsAreJudgedAtTheirEdges) {
  bench::ImageFootprint Image;
  Image.FileBytes = 1025;
  Image.TeError = "not PE32";
  std::vector<bench::ScenarioFigures> Rows = {Row("chip-4e-no-variable", 200, 129),
                                              Row("no-chip", 217, 128)};
  auto Table = bench::BuildFigureRows(Image, Rows, {999'999.0, 20'000.0});
  auto MetOf = [&](const std::string& Figure) {
    for (const auto& R : Table) {
      if (R.Figure == Figure)
        return R.Met;
    }
    return std::string("missing");
  };
  EXPECT_EQ(MetOf("image: total bytes (PE32)"), "no");
  EXPECT_EQ(MetOf("chip-4e-no-variable: instructions"), "yes");                 // 200 <= 200
  EXPECT_EQ(MetOf("chip-4e-no-variable: instructions per port access"), "yes"); // 5.56
  EXPECT_EQ(MetOf("chip-4e-no-variable: stack high-water bytes"), "no");        // 129
  EXPECT_EQ(MetOf("no-chip: instructions"), "");                                // no goal
  EXPECT_EQ(MetOf("no-chip: instructions per port access"), "no");              // 6.03
  EXPECT_EQ(MetOf("no-chip: stack high-water bytes"), "yes");
  EXPECT_EQ(MetOf("host build: passes per second, one core"), "no");
  EXPECT_EQ(MetOf("emulator: passes per second, one core, one engine"), "yes");
  std::string Text = bench::FormatFigureTable(Table);
  EXPECT_NE(Text.find("999,999"), std::string::npos) << Text;
}

} // namespace
