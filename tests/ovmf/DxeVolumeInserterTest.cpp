// SPDX-License-Identifier: BSD-2-Clause-Patent
// Adding the setup driver's file to a DXE volume: placement and alignment,
// state and checksums, refusals that leave the volume untouched, and the
// driver carried through the rebuilt OVMF image for each DXE mode.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/BuildPaths.h"
#include "ovmf/DxeVolumeInserter.h"
#include "ovmf/OvmfImage.h"
#include "ovmf/SetupDriverStep.h"
#include "packaging/SetupDriverFile.h"
#include "packaging/SioModuleFile.h"
#include "pe/ImageFile.h"
#include "pi/Checksum.h"
#include "pi/FirmwareVolume.h"

namespace {

constexpr uint8_t kFreeformFile = 0x02; // EFI_FV_FILETYPE_FREEFORM: sections of any kind

std::vector<uint8_t> DriverImage(const char* Path = sio::build::kSetupDxeFile) {
  return pe::ReadFileBytes(Path).value();
}

std::vector<uint8_t> DriverFile() {
  return packaging::BuildSetupDriverFile(DriverImage()).Value();
}

// A built volume of Length bytes (a whole number of 0x100 blocks) whose one
// file is a raw file of FillerSize bytes: the driver goes after it.
std::vector<uint8_t> DxeVolume(size_t FillerSize, size_t Length) {
  pi::FileRecipe Filler;
  std::fill(Filler.Name.begin(), Filler.Name.end(), 0x5A);
  Filler.Type = kFreeformFile;
  Filler.Sections = {{pi::section_type::kRaw, std::vector<uint8_t>(FillerSize, 0x33), 4, 0}};
  pi::VolumeOptions Options;
  Options.BlockSize = 0x100;
  auto V = pi::BuildFirmwareVolume({pi::BuildFfsFile(Filler).Value().Bytes}, Options).Value().Bytes;
  EXPECT_LE(V.size(), Length);
  // Grow the volume to Length: more blocks of erased bytes.
  pi::FvHeader H;
  pi::ReadRecord(V, 0, H);
  V.resize(Length, 0xFF);
  H.FvLength = Length;
  pi::WriteRecord(std::span<uint8_t>(V), 0, H);
  pi::FvBlockMapEntry Run;
  pi::ReadRecord(V, sizeof H, Run);
  Run.NumBlocks = static_cast<uint32_t>(Length / Run.Length);
  pi::WriteRecord(std::span<uint8_t>(V), sizeof H, Run);
  pi::SealFvHeader(V);
  return V;
}

// The driver lands after the last file wherever that ends: each filler size
// puts the free space at another phase of the image's alignment, so some
// need a pad file in front and some none.
TEST(DxeVolumeInserter, PlacesTheDriverAlignedAfterTheLastFile) {
  const auto File = DriverFile();
  const pi::FfsFileView Stand = pi::ReadFfsFile(File).Value();
  const uint32_t Align = pi::DecodeDataAlignment(Stand.Attributes);
  ASSERT_GT(Align, 8u) << "the driver's data alignment should need a placement";
  bool SawPad = false, SawNone = false;
  for (size_t Filler : {0x20u, 0x38u, 0x100u, 0x3F0u, 0x1004u}) {
    SCOPED_TRACE(Filler);
    auto V = DxeVolume(Filler, 0x10000);
    const auto Before = pi::ParseVolume(V).Value();
    const auto In = ovmf::InsertDxeDriver(V, File).Value();
    const auto After = pi::ParseVolume(V).Value(); // checksums, sizes, state
    const auto Added = std::ranges::find(After.Files, In.Name, &pi::FfsFileView::Name);
    ASSERT_NE(Added, After.Files.end());
    EXPECT_EQ(Added->Offset, In.FileOffset);
    EXPECT_EQ(Added->DataOffset() % Align, 0u);
    EXPECT_EQ(Added->Type, pi::file_type::kDriver);
    EXPECT_EQ(Added->State, pi::StoredState(pi::file_state::kFinished, true));
    EXPECT_TRUE(std::equal(V.begin() + static_cast<ptrdiff_t>(Added->DataOffset()),
                           V.begin() + static_cast<ptrdiff_t>(Added->Offset + Added->Size),
                           File.begin() + static_cast<ptrdiff_t>(Stand.HeaderSize)));
    // Every earlier file kept, a pad file only where the gap asked for one.
    EXPECT_EQ(After.Files.size(), Before.Files.size() + (In.PadSize ? 2 : 1));
    EXPECT_TRUE(In.PadSize == 0 || In.PadSize >= sizeof(pi::FfsFileHeader));
    (In.PadSize ? SawPad : SawNone) = true;
    EXPECT_EQ(In.FreeBefore, Before.Length - Before.FreeOffset);
    EXPECT_EQ(In.FreeAfter, After.Length - After.FreeOffset);
  }
  EXPECT_TRUE(SawPad && SawNone);
}

TEST(DxeVolumeInserter, RefusesAndLeavesTheVolumeAsItWas) {
  const auto Driver = DriverFile();
  const auto Peim = packaging::BuildSioModuleFile(pe::ReadFileBytes(sio::build::kImageFile).value(),
                                                  packaging::DepexChoice::True)
                        .Value();
  // As long as the file: the header and the filler leave too little.
  auto Full = DxeVolume(0x20, pi::AlignUp(Driver.size(), 0x100));
  auto Twice = DxeVolume(0x20, 0x10000);
  ASSERT_TRUE(ovmf::InsertDxeDriver(Twice, Driver));
  struct Case {
    const char* What;
    std::vector<uint8_t> Volume;
    std::vector<uint8_t> File;
    const char* Message;
  } Cases[] = {
      {"no room", Full, Driver, "no room"},
      {"a second file of the name", Twice, Driver, "already holds"},
      {"a PEIM", DxeVolume(0x20, 0x10000), Peim, "not a DXE driver"},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.What);
    const auto Before = C.Volume;
    const auto In = ovmf::InsertDxeDriver(C.Volume, C.File);
    ASSERT_FALSE(In);
    EXPECT_NE(In.Message().find(C.Message), std::string::npos) << In.Message();
    EXPECT_EQ(C.Volume, Before);
  }
}

// On Debian's IA-32-DXE build and an X64-DXE build, the driver for DXE's mode
// goes into the DXE volume and is still there, sealed, after the image is
// recompressed and opened again; the other mode's image is refused.
TEST(DxeVolumeInserter, TheDriverForDxesModeSurvivesTheRebuild) {
  struct Build {
    std::string Code;
    ovmf::Processor Dxe;
    const char* Image;
    const char* Other;
  } Builds[] = {
      {sio::build::kOvmfCode, ovmf::Processor::Ia32, sio::build::kSetupDxeFile,
       sio::build::kX64SetupDxeFile},
      {std::string(sio::build::kOvmfDir) + "/OVMF_CODE_4M.secboot.fd", ovmf::Processor::X64,
       sio::build::kX64SetupDxeFile, sio::build::kSetupDxeFile},
  };
  for (const Build& B : Builds) {
    SCOPED_TRACE(B.Code);
    auto Image = ovmf::OvmfImage::Parse(pe::ReadFileBytes(B.Code).value()).Value();
    const auto Original = std::vector<uint8_t>(Image.DxeVolume().begin(), Image.DxeVolume().end());
    const auto Wrong = ovmf::AddSetupDriver(Image, B.Dxe, DriverImage(B.Other), B.Other);
    ASSERT_FALSE(Wrong);
    EXPECT_NE(Wrong.Message().find("DXE runs"), std::string::npos) << Wrong.Message();
    EXPECT_TRUE(std::ranges::equal(Image.DxeVolume(), Original));

    const auto Added = ovmf::AddSetupDriver(Image, B.Dxe, DriverImage(B.Image), B.Image).Value();
    EXPECT_EQ(Added.Mode, B.Dxe);
    const auto Reopened = ovmf::OvmfImage::Parse(Image.Rebuild().Value()).Value();
    EXPECT_TRUE(std::ranges::equal(Reopened.DxeVolume(), Image.DxeVolume()));
    const auto View = pi::ParseVolume(Reopened.DxeVolume()).Value();
    const auto File =
        std::ranges::find(View.Files, packaging::kSetupDriverFileName, &pi::FfsFileView::Name);
    ASSERT_NE(File, View.Files.end());
    EXPECT_EQ(File->Offset, Added.Added.FileOffset);
    // The PEI volume is untouched by the driver.
    const auto Untouched = ovmf::OvmfImage::Parse(pe::ReadFileBytes(B.Code).value()).Value();
    EXPECT_TRUE(std::ranges::equal(Reopened.PeiVolume(), Untouched.PeiVolume()));
  }
}

} // namespace
