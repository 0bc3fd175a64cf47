// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module image is the link's output without its DOS stub: the same
// passes at the flash address and moved, and the stub's removal is exact.
#include <gtest/gtest.h>

#include <cstring>
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
      auto A = emulator::RunImagePass(Linked, S.Scenario, {At});
      auto B = emulator::RunImagePass(test::BuiltImage(), S.Scenario, {At});
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

template <typename T> T Peek(const std::vector<uint8_t>& Image, size_t At) {
  T Value;
  std::memcpy(&Value, Image.data() + At, sizeof Value);
  return Value;
}

// Every address the optional header holds moves down by the stub's 56 bytes,
// checked against the link's own values: the entry point, BaseOfCode, the
// image and header sizes, each section's address; and a PE32's BaseOfData,
// given here to an image whose link left it 0 (it has no data section of its
// own), at the start of its last section as a linker puts it.
TEST(DosStub, EveryAddressOfTheHeadersMovesByTheStub) {
  struct Case {
    const char* Label;
    std::string Linked;
    bool WithData;
  };
  std::string Ia32 = sio::build::kImageFile, X64 = sio::build::kX64ImageFile;
  Ia32.replace(Ia32.size() - 4, 4, ".linked.efi");
  X64.replace(X64.size() - 4, 4, ".linked.efi");
  const Case Cases[] = {
      {"IA-32", Ia32, false}, {"IA-32 with data", Ia32, true}, {"X64", X64, false}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Label);
    std::vector<uint8_t> Linked = pe::ReadFileBytes(C.Linked).value();
    const auto O = test::Offsets(Linked);
    const uint16_t Sections = Peek<uint16_t>(Linked, O.Coff + 2);
    ASSERT_GE(Sections, 1);
    if (C.WithData) {
      const uint32_t Last = Peek<uint32_t>(Linked, O.SectionTable + 40 * (Sections - 1) + 12);
      test::Poke<uint32_t>(Linked, O.Optional + 24, Last); // BaseOfData
    }
    auto Dropped = pe::DropDosStub(Linked);
    ASSERT_TRUE(Dropped) << Dropped.Message();
    ASSERT_EQ(Dropped->Moved, 56u);
    const std::vector<uint8_t>& Out = Dropped->Image;
    const auto N = test::Offsets(Out);
    for (const auto& [Name, Field] : {std::pair{"AddressOfEntryPoint", 16},
                                      {"BaseOfCode", 20},
                                      {"SizeOfImage", 56},
                                      {"SizeOfHeaders", 60}}) {
      const uint32_t Was = Peek<uint32_t>(Linked, O.Optional + Field);
      ASSERT_GT(Was, 56u) << Name;
      EXPECT_EQ(Peek<uint32_t>(Out, N.Optional + Field), Was - 56) << Name;
    }
    if (C.WithData) {
      const uint32_t Was = Peek<uint32_t>(Linked, O.Optional + 24);
      EXPECT_EQ(Peek<uint32_t>(Out, N.Optional + 24), Was - 56) << "BaseOfData";
    }
    for (uint16_t I = 0; I < Sections; ++I)
      EXPECT_EQ(Peek<uint32_t>(Out, N.SectionTable + 40 * I + 12),
                Peek<uint32_t>(Linked, O.SectionTable + 40 * I + 12) - 56)
          << "section " << I;
  }
}

} // namespace
