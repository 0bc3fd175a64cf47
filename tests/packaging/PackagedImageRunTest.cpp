// SPDX-License-Identifier: BSD-2-Clause-Patent
#include <gtest/gtest.h>

#include <vector>

#include "board/ScenarioCatalog.h"
#include "common/BuildPaths.h"
#include "emulator/ImageEngine.h"
#include "pe/ImageFile.h"
#include "pi/FfsFile.h"

namespace {

// The PE32 section's body: the image as the PEI Foundation finds it in the file.
std::vector<uint8_t> ImageInFile(const std::vector<uint8_t>& File) {
  auto Sections = pi::ListSections(File);
  for (const pi::SectionView& S : Sections ? *Sections : std::vector<pi::SectionView>{}) {
    if (S.Type == pi::section_type::kPe32)
      return {File.begin() + static_cast<ptrdiff_t>(S.DataOffset()),
              File.begin() + static_cast<ptrdiff_t>(S.DataOffset() + S.DataSize())};
  }
  return {};
}

TEST(PackagedImage, RunsAsThePlainImageDoesOnEveryScenario) {
  const auto Plain = pe::ReadFileBytes(sio::build::kImageFile);
  const auto File = pe::ReadFileBytes(sio::build::kModuleFile);
  ASSERT_TRUE(Plain && File);
  const auto Packed = ImageInFile(*File);
  ASSERT_FALSE(Packed.empty());

  for (const board::NamedScenario& S : board::ScenarioCatalog()) {
    const auto A = emulator::RunImagePass(*Plain, S.Scenario);
    const auto B = emulator::RunImagePass(Packed, S.Scenario);
    // Also placed elsewhere, which takes the relocations the file carries.
    emulator::ImageRunOptions Moved;
    Moved.LoadAddress = 0x00200000;
    const auto C = emulator::RunImagePass(Packed, S.Scenario, Moved);
    ASSERT_TRUE(A.Completed) << S.Name << ": " << A.Fault;
    EXPECT_FALSE(A.Result.Events.empty()) << S.Name;
    for (const auto* R : {&B, &C}) {
      ASSERT_TRUE(R->Completed) << S.Name << ": " << R->Fault;
      EXPECT_EQ(R->Result.Status, A.Result.Status) << S.Name;
      EXPECT_EQ(R->Result.Events, A.Result.Events) << S.Name;
      EXPECT_EQ(R->Result.Ppis, A.Result.Ppis) << S.Name;
      EXPECT_EQ(R->Result.Chip, A.Result.Chip) << S.Name;
    }
    EXPECT_EQ(C.LoadAddress, 0x00200000u);
  }
}

} // namespace
