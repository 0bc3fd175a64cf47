// SPDX-License-Identifier: BSD-2-Clause-Patent
// Adding the module's file to a PEI volume: placement, alignment, pad file,
// state, checksums, rebasing, and refusals that leave the volume untouched.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/BuildPaths.h"
#include "ovmf/OvmfImage.h"
#include "ovmf/PeiVolumeInserter.h"
#include "packaging/SioModuleFile.h"
#include "pe/ImageFile.h"
#include "pe/PeRebase.h"
#include "pe/TeImage.h"
#include "pi/Checksum.h"
#include "pi/FirmwareVolume.h"

namespace {

constexpr uint32_t kVolumeAddress = 0x820000;

// An erase-polarity FFS2 volume of Length bytes holding one pad file of
// UsedBytes (0: empty).
std::vector<uint8_t> Volume(size_t Length, size_t UsedBytes) {
  std::vector<uint8_t> V(Length, 0xFF);
  std::fill_n(V.begin(), 0x48, 0);
  pi::FvHeader H{};
  H.FileSystemGuid = pi::kFfs2FileSystemGuid;
  H.FvLength = Length;
  H.Signature = pi::kFvSignature;
  H.Attributes = 0x0007FEFF;
  H.HeaderLength = 0x48;
  H.Revision = 2;
  pi::WriteRecord(std::span<uint8_t>(V), 0, H);
  pi::FvBlockMapEntry Run{};
  Run.NumBlocks = static_cast<uint32_t>(Length / 0x100);
  Run.Length = 0x100;
  pi::WriteRecord(std::span<uint8_t>(V), sizeof H, Run);
  if (UsedBytes) {
    auto Pad = std::span<uint8_t>(V).subspan(0x48, UsedBytes);
    pi::FfsFileHeader F{};
    std::fill(F.Name.begin(), F.Name.end(), 0x11);
    F.Type = pi::file_type::kPad;
    F.Size = static_cast<uint32_t>(UsedBytes);
    F.State = 0xF8;
    pi::WriteRecord(Pad, 0, F);
    pi::SealFfsFile(Pad, sizeof F);
  }
  pi::SealFvHeader(V);
  return V;
}

const pi::Guid kModuleName = packaging::kSioModuleFileName;

std::vector<uint8_t> ModuleFile(packaging::ImageForm Form = packaging::ImageForm::Pe32) {
  return packaging::BuildSioModuleFile(pe::ReadFileBytes(sio::build::kImageFile).value(),
                                       packaging::DepexChoice::True, Form)
      .Value();
}

uint8_t& Attributes(std::vector<uint8_t>& File) {
  return File[offsetof(pi::FfsFileHeader, Attributes)];
}

// The base the placed file's image now carries: PE32 ImageBase, or where a
// TE image's RVA 0 lies.
uint32_t PlacedImageBase(std::span<const uint8_t> Volume, const pi::FfsFileView& File) {
  const auto Data = Volume.subspan(File.DataOffset(), File.DataSize());
  const auto Sections = pi::ParseSections(Data).Value();
  for (const pi::SectionView& S : Sections) {
    const auto Bytes = Data.subspan(S.DataOffset(), S.DataSize());
    if (S.Type == pi::section_type::kPe32)
      return pe::ReadPe32(Bytes)->ImageBase;
    if (S.Type == pi::section_type::kTe)
      return pe::ReadTe(Bytes)->ImageBase;
  }
  return 0;
}

TEST(PeiVolumeInserter, PlacesAlignsRebasesAndSeals) {
  const auto Image = pe::ReadFileBytes(sio::build::kImageFile).value();
  for (auto Form : {packaging::ImageForm::Pe32, packaging::ImageForm::Te}) {
    const auto File = ModuleFile(Form);
    // Free space starting at different offsets: with and without a pad file.
    for (size_t Used : {size_t{0}, size_t{0x18}, size_t{0x38}, size_t{0x58}, size_t{0x70}}) {
      auto V = Volume(0x4000, Used);
      const ovmf::Insertion In = *ovmf::InsertPeim(V, kVolumeAddress, File);
      const pi::VolumeView View = *pi::ParseVolume(V); // sizes and checksums hold
      ASSERT_EQ(View.Files.size(), (Used ? 1u : 0u) + (In.PadSize ? 1u : 0u) + 1u);
      const pi::FfsFileView& Added = View.Files.back();
      EXPECT_EQ(Added.Name, kModuleName);
      EXPECT_EQ(Added.Offset, In.FileOffset);
      EXPECT_EQ(Added.State, 0xF8) << "valid state as an erase-polarity volume stores it";
      EXPECT_EQ(Added.DataOffset() % pi::DecodeDataAlignment(Added.Attributes), 0u);
      if (Form == packaging::ImageForm::Pe32) {
        EXPECT_EQ(In.ImageAddress % pe::ReadPe32(Image)->SectionAlignment, 0u);
      }
      EXPECT_TRUE(In.PadSize == 0 || In.PadSize >= sizeof(pi::FfsFileHeader));
      EXPECT_EQ(In.Te, Form == packaging::ImageForm::Te);
      EXPECT_EQ(PlacedImageBase(V, Added), In.ImageAddress);
      EXPECT_GT(In.Relocations, 0u);
    }
  }
}

// Ahead of the PEIMs in OVMF's PEI volume: the module's file lies before the
// first PEIM, every file after it moved by one amount with its image rebased
// by that amount (the volume runs in place), and the files before it are
// untouched.
TEST(PeiVolumeInserter, AheadOfThePeimsMovesAndRebasesTheFilesAfterIt) {
  for (auto Form : {packaging::ImageForm::Pe32, packaging::ImageForm::Te}) {
    auto Image = *ovmf::OvmfImage::Parse(pe::ReadFileBytes(sio::build::kOvmfCode).value());
    const std::vector<uint8_t> Before(Image.PeiVolume().begin(), Image.PeiVolume().end());
    const pi::VolumeView Old = *pi::ParseVolume(Before);
    auto Inserted = ovmf::InsertPeim(Image.PeiVolume(), Image.PeiVolumeAddress(), ModuleFile(Form),
                                     ovmf::InsertAt::AheadOfPeims);
    ASSERT_TRUE(Inserted) << Inserted.Message();
    const ovmf::Insertion& In = *Inserted;
    const auto After = Image.PeiVolume();
    auto Parsed = pi::ParseVolume(After); // sizes and checksums hold
    ASSERT_TRUE(Parsed) << Parsed.Message();
    const pi::VolumeView& New = *Parsed;
    ASSERT_GT(In.Moved, 0u);
    EXPECT_EQ(In.Moved % 8, 0u);
    size_t Module = New.Files.size(), FirstPeim = New.Files.size();
    for (size_t I = 0; I < New.Files.size(); ++I) {
      if (New.Files[I].Name == kModuleName)
        Module = I;
      else if (New.Files[I].Type == pi::file_type::kPeim && FirstPeim == New.Files.size())
        FirstPeim = I;
    }
    ASSERT_LT(Module, FirstPeim) << "the module comes before every other PEIM";
    EXPECT_EQ(New.Files[Module].Offset, In.FileOffset);
    EXPECT_EQ(PlacedImageBase(After, New.Files[Module]), In.ImageAddress);
    size_t Moved = 0;
    for (const pi::FfsFileView& O : Old.Files) {
      if (O.Type == pi::file_type::kPad)
        continue;
      const auto Same = std::ranges::find(New.Files, O.Name, &pi::FfsFileView::Name);
      ASSERT_NE(Same, New.Files.end());
      const uint32_t OldBase = PlacedImageBase(Before, O);
      if (Same->Offset == O.Offset) {
        EXPECT_TRUE(std::ranges::equal(std::span(Before).subspan(O.Offset, O.Size),
                                       After.subspan(O.Offset, O.Size)));
        continue;
      }
      ++Moved;
      EXPECT_EQ(Same->Offset, O.Offset + In.Moved);
      EXPECT_EQ(Same->Attributes, O.Attributes);
      if (OldBase != 0) {
        EXPECT_EQ(PlacedImageBase(After, *Same), OldBase + In.Moved) << pi::FormatGuid(O.Name);
      }
      EXPECT_EQ(Same->DataOffset() % pi::DecodeDataAlignment(Same->Attributes), 0u);
    }
    EXPECT_GT(Moved, 10u) << "OVMF's PEIMs moved";
  }
}

TEST(PeiVolumeInserter, KeepsTheFileChecksumRightAfterRebasing) {
  for (bool RealChecksum : {true, false}) {
    auto File = ModuleFile();
    if (!RealChecksum) {
      Attributes(File) &= ~pi::file_attr::kChecksum;
      pi::SealFfsFile(File, sizeof(pi::FfsFileHeader));
    }
    auto V = Volume(0x4000, 0x38);
    const ovmf::Insertion In = *ovmf::InsertPeim(V, kVolumeAddress, File);
    EXPECT_TRUE(pi::ParseVolume(V).Ok()); // verifies both checksums
    EXPECT_EQ((V[In.FileOffset + offsetof(pi::FfsFileHeader, Attributes)] &
               pi::file_attr::kChecksum) != 0,
              RealChecksum);
  }
}

TEST(PeiVolumeInserter, RefusesAndLeavesTheVolumeAlone) {
  const auto Good = ModuleFile();
  auto BadHeaderChecksum = Good;
  BadHeaderChecksum[offsetof(pi::FfsFileHeader, HeaderChecksum)] ^= 1;
  auto NotPeim = Good;
  NotPeim[offsetof(pi::FfsFileHeader, Type)] = 0x07;
  pi::SealFfsFile(NotPeim, sizeof(pi::FfsFileHeader));
  auto Truncated = Good;
  Truncated.resize(Good.size() / 2);
  auto CopiedOutOfAVolume = Good;
  CopiedOutOfAVolume[offsetof(pi::FfsFileHeader, State)] = 0xF8;
  struct Case {
    const char* What;
    std::vector<uint8_t> File;
    size_t VolumeLength;
    sio::ErrorKind Kind;
  };
  const Case Cases[] = {
      {"bad header checksum", BadHeaderChecksum, 0x4000, sio::ErrorKind::BadInput},
      {"not a PEIM", NotPeim, 0x4000, sio::ErrorKind::BadInput},
      {"cut short", Truncated, 0x4000, sio::ErrorKind::BadInput},
      {"state as a volume stores it", CopiedOutOfAVolume, 0x4000, sio::ErrorKind::BadInput},
      {"volume too small", Good, 0x200, sio::ErrorKind::Refused},
  };
  for (const Case& C : Cases) {
    auto V = Volume(C.VolumeLength, 0x38);
    const auto Before = V;
    const auto Inserted = ovmf::InsertPeim(V, kVolumeAddress, C.File);
    ASSERT_FALSE(Inserted.Ok()) << C.What;
    EXPECT_EQ(Inserted.Kind(), C.Kind) << C.What << ": " << Inserted.Message();
    EXPECT_EQ(V, Before) << C.What;
  }
  auto V = Volume(0x4000, 0);
  ASSERT_TRUE(ovmf::InsertPeim(V, kVolumeAddress, Good).Ok());
  const auto Before = V;
  const auto Twice = ovmf::InsertPeim(V, kVolumeAddress, Good);
  ASSERT_FALSE(Twice.Ok()) << "same name twice";
  EXPECT_EQ(Twice.Kind(), sio::ErrorKind::Refused) << Twice.Message();
  EXPECT_EQ(V, Before);
}

} // namespace
