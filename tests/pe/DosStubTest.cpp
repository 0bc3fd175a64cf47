// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module image is the link's output without its DOS stub: the same
// passes at the flash address and moved, and the stub's removal is exact.
#include <gtest/gtest.h>

#include <string>

#include "board/ScenarioCatalog.h"
#include "emulator/ImageEngine.h"
#include "pe/DosStub.h"
#include "pe/PeFile.h"
#include "tests/support/ImageFixture.h"

namespace {

std::vector<uint8_t> LinkedImage() {
  std::string Path = sio::build::kImageFile;
  Path.replace(Path.size() - 4, 4, ".linked.efi");
  auto Bytes = pe::ReadFileBytes(Path);
  if (!Bytes)
    throw std::runtime_error("cannot read " + Path);
  return *Bytes;
}

TEST(DosStub, TheImageIsTheLinkWithoutItsStub) {
  const std::vector<uint8_t> Linked = LinkedImage();
  auto Dropped = pe::DropDosStub(Linked);
  ASSERT_TRUE(Dropped) << Dropped.Message();
  EXPECT_EQ(Dropped->Moved, 56u);
  EXPECT_EQ(Dropped->Image, test::BuiltImage());
  EXPECT_EQ(Linked.size() - Dropped->Image.size(), 56u);
  // Nothing left to drop: the same bytes again.
  auto Again = pe::DropDosStub(test::BuiltImage());
  ASSERT_TRUE(Again) << Again.Message();
  EXPECT_EQ(Again->Moved, 0u);
  EXPECT_EQ(Again->Image, test::BuiltImage());
}

TEST(DosStub, TheLinkedAndTheCompactedImageRunAlike) {
  const std::vector<uint8_t> Linked = LinkedImage();
  for (const auto& S : board::ScenarioCatalog()) {
    for (std::optional<uint32_t> At :
         {std::optional<uint32_t>(), std::optional<uint32_t>(0x200000)}) {
      SCOPED_TRACE(S.Name + (At ? " moved" : " in place"));
      auto A = emulator::RunImagePass(Linked, S.Config, {At});
      auto B = emulator::RunImagePass(test::BuiltImage(), S.Config, {At});
      ASSERT_TRUE(A.Completed && B.Completed) << A.Fault << B.Fault;
      EXPECT_EQ(A.Result.Events, B.Result.Events);
      EXPECT_EQ(A.Result.Status, B.Result.Status);
      EXPECT_EQ(A.Instructions, B.Instructions);
    }
  }
}

TEST(DosStub, RefusesAnImageNotLaidOutAsInMemory) {
  std::vector<uint8_t> Image = LinkedImage();
  const auto O = test::Offsets(Image);
  test::Poke<uint32_t>(Image, O.Optional + 36, 0x200); // FileAlignment
  EXPECT_FALSE(pe::DropDosStub(Image));
}

} // namespace
