// SPDX-License-Identifier: BSD-2-Clause-Patent
// Rebasing the module image: every relocation site moves by the distance,
// nothing else changes, and a bad image is refused untouched.
#include <gtest/gtest.h>

#include <cstring>

#include "common/BuildPaths.h"
#include "pe/ImageFile.h"
#include "pe/PeRebase.h"
#include "pe/TeImage.h"

namespace {

std::vector<uint8_t> ModuleImage() {
  return pe::ReadFileBytes(sio::build::kImageFile).value();
}

uint32_t At(const std::vector<uint8_t>& B, size_t Offset) {
  uint32_t V;
  std::memcpy(&V, &B[Offset], 4);
  return V;
}

TEST(PeRebase, MovesEveryRelocationSiteByTheDistance) {
  const auto Original = ModuleImage();
  const pe::Pe32Info Info = pe::ReadPe32(Original).Value();
  ASSERT_GT(Info.Relocations, 0u);
  for (uint32_t NewBase :
       {0x00847260u, 0x00100000u, static_cast<uint32_t>(Info.ImageBase), 0xFFFFF000u}) {
    auto Moved = Original;
    EXPECT_EQ(*pe::RebasePe32(Moved, NewBase), Info.Relocations);
    EXPECT_EQ(pe::ReadPe32(Moved)->ImageBase, NewBase);
    // Only the ImageBase field and the relocation sites may change.
    size_t ChangedBytes = 0;
    for (size_t I = 0; I < Moved.size(); ++I)
      ChangedBytes += Moved[I] != Original[I];
    EXPECT_LE(ChangedBytes, 4 * (Info.Relocations + 1));
    if (NewBase != Info.ImageBase) {
      EXPECT_GE(ChangedBytes, Info.Relocations);
    }
    // Two moves land where one does.
    auto Twice = Original;
    ASSERT_TRUE(pe::RebasePe32(Twice, 0x00500000).Ok());
    ASSERT_TRUE(pe::RebasePe32(Twice, NewBase).Ok());
    EXPECT_EQ(Twice, Moved);
    auto Back = Moved;
    ASSERT_TRUE(pe::RebasePe32(Back, Info.ImageBase).Ok());
    EXPECT_EQ(Back, Original) << "rebasing back must restore the image";
  }
}

TEST(PeRebase, RefusesBadImagesAndLeavesThemAlone) {
  const auto Original = ModuleImage();
  std::vector<std::vector<uint8_t>> Bad = {
      {Original.begin(), Original.begin() + 0x100}, // cut short
      {'M', 'Z'},
      {},
  };
  auto WrongMachine = Original;
  WrongMachine[At(Original, 0x3C) + 4] = 0x64; // machine 0x8664
  WrongMachine[At(Original, 0x3C) + 5] = 0x86;
  Bad.push_back(WrongMachine);
  for (auto Image : Bad) {
    const auto Before = Image;
    const auto Moved = pe::RebasePe32(Image, 0x820000);
    ASSERT_FALSE(Moved.Ok());
    EXPECT_EQ(Moved.Kind(), sio::ErrorKind::BadInput) << Moved.Message();
    EXPECT_EQ(Image, Before);
  }
}

// A TE image laid out by hand: StrippedSize 0x80, one section at RVA 0x100
// (TE offset 0xA8), a HIGHLOW site at RVA 0x104 holding 0x00401000, and the
// relocation block at RVA 0x120 with one site and one padding entry.
std::vector<uint8_t> TinyTe(uint16_t SiteEntry = 0x3004) {
  std::vector<uint8_t> Te(0xA8 + 0x40, 0);
  const auto Put16 = [&](size_t At, uint16_t V) { std::memcpy(&Te[At], &V, 2); };
  const auto Put32 = [&](size_t At, uint32_t V) { std::memcpy(&Te[At], &V, 4); };
  Put16(0, 0x5A56);
  Put16(2, 0x014C);
  Te[4] = 1;
  Te[5] = 11;
  Put16(6, 0x80);
  Put32(0x10, 0x00400000);
  Put32(0x18, 0x120);
  Put32(0x1C, 12);
  std::memcpy(&Te[40], ".text\0\0\0", 8);
  Put32(40 + 8, 0x40);   // VirtualSize
  Put32(40 + 12, 0x100); // VirtualAddress
  Put32(40 + 16, 0x40);  // SizeOfRawData
  Put32(40 + 20, 0x100); // PointerToRawData, before stripping
  Put32(0xAC, 0x00401000);
  Put32(0xC8, 0x100); // block: page RVA, size, entries
  Put32(0xCC, 12);
  Put16(0xD0, SiteEntry);
  Put16(0xD2, 0x0000);
  return Te;
}

TEST(PeRebase, MovesATeImageByItsBase) {
  auto Te = TinyTe();
  const auto Original = Te;
  EXPECT_EQ(pe::ReadTe(Te)->Relocations, 1u);
  EXPECT_EQ(*pe::RebaseTe(Te, 0x00820000), 1u);
  EXPECT_EQ(At(Te, 0xAC), 0x00821000u);
  EXPECT_EQ(At(Te, 0x10), 0x00820000u);
  EXPECT_EQ(At(Te, 0x14), 0u);
  EXPECT_EQ(pe::ReadTe(Te)->ImageBase, 0x00820000u);
  ASSERT_TRUE(pe::RebaseTe(Te, 0x00400000).Ok());
  EXPECT_EQ(Te, Original);
}

TEST(PeRebase, RefusesBadTeImagesAndLeavesThemAlone) {
  auto OutsideSection = TinyTe(0x3040); // site at RVA 0x140, past the section
  auto WrongType = TinyTe(0xA004);
  auto Cut = TinyTe();
  Cut.resize(0x60); // section table whole, data gone
  auto NotTe = TinyTe();
  NotTe[0] = 'M';
  // Sites that would patch the relocation block itself, or bytes another
  // site patches: the move could not be undone.
  auto PatchesDirectory = TinyTe(0x3020);
  auto Overlapping = TinyTe();
  Overlapping[0xD2] = 0x06;
  Overlapping[0xD3] = 0x30;
  for (auto Te : {OutsideSection, WrongType, Cut, NotTe, PatchesDirectory, Overlapping}) {
    const auto Before = Te;
    const auto Moved = pe::RebaseTe(Te, 0x820000);
    ASSERT_FALSE(Moved.Ok());
    EXPECT_EQ(Moved.Kind(), sio::ErrorKind::BadInput) << Moved.Message();
    EXPECT_EQ(Te, Before);
  }
}

// The TE form is held to the rules of a module image as the PE32 form is:
// the real image's TE form passes; one without an entry point, without
// relocations or of another subsystem is refused with the reason.
TEST(TeValidation, RefusesWhatTheModuleImageRulesRefuse) {
  const auto Image = ModuleImage();
  const auto Te = pe::ConvertToTe(Image).Value();
  EXPECT_TRUE(pe::ValidateTeImage(Te.Bytes).Ok());
  auto NoRelocations = Te.Bytes;
  for (size_t I = 0x18; I < 0x20; ++I) // the TE header's base relocation directory
    NoRelocations.at(I) = 0;
  auto Application = Te.Bytes;
  Application[5] = 10;
  struct Case {
    const char* Name;
    std::vector<uint8_t> Bytes;
    const char* Reason;
  } Cases[] = {
      {"no entry point", TinyTe(), "entry point"},
      {"no relocations", NoRelocations, "base relocations"},
      {"EFI application", Application, "subsystem"},
      {"cut short", {Te.Bytes.begin(), Te.Bytes.begin() + 60}, "runs past the image"},
  };
  for (const Case& C : Cases) {
    const auto Valid = pe::ValidateTeImage(C.Bytes);
    ASSERT_FALSE(Valid.Ok()) << C.Name;
    EXPECT_EQ(Valid.Kind(), sio::ErrorKind::BadInput) << C.Name;
    EXPECT_NE(Valid.Message().find(C.Reason), std::string::npos)
        << C.Name << ": " << Valid.Message();
  }
  // A TE image without relocations stays put but cannot move.
  auto Copy = NoRelocations;
  const auto Moved = pe::RebaseTe(Copy, 0x00820000);
  ASSERT_FALSE(Moved.Ok());
  EXPECT_EQ(Moved.Kind(), sio::ErrorKind::Refused) << Moved.Message();
  EXPECT_EQ(Copy, NoRelocations);
}

} // namespace
