// Adding the module's file to a PEI volume: placement, alignment, pad file,
// state, checksums, rebasing, and refusals that leave the volume untouched.
#include <gtest/gtest.h>

#include <algorithm>

#include "ovmf/FirmwareError.h"
#include "ovmf/FirmwareVolume.h"
#include "ovmf/OvmfImage.h"
#include "ovmf/PeiVolumeInserter.h"
#include "ovmf/PiChecksum.h"
#include "packaging/SioModuleFile.h"
#include "pe/ImageFile.h"
#include "pe/PeRebase.h"

namespace {

constexpr uint32_t kVolumeAddress = 0x820000;

// An erase-polarity FFS2 volume of Length bytes holding one pad file of
// UsedBytes (0: empty).
std::vector<uint8_t> Volume(size_t Length, size_t UsedBytes) {
  std::vector<uint8_t> V(Length, 0xFF);
  std::fill_n(V.begin(), 0x10, 0);
  std::copy(ovmf::kFfs2Guid.begin(), ovmf::kFfs2Guid.end(), V.begin() + 0x10);
  for (size_t I = 0; I < 8; ++I)
    V[ovmf::kFvLengthOffset + I] = static_cast<uint8_t>(uint64_t{Length} >> (8 * I));
  ovmf::Store16(&V[ovmf::kFvSignatureOffset], 0x465F);
  ovmf::Store16(&V[ovmf::kFvSignatureOffset + 2], 0x4856);
  ovmf::Store16(&V[ovmf::kFvAttributesOffset], 0xFEFF);
  ovmf::Store16(&V[ovmf::kFvAttributesOffset + 2], 0x0007);
  ovmf::Store16(&V[ovmf::kFvHeaderLengthOffset], 0x48);
  std::fill(V.begin() + 0x34, V.begin() + 0x48, 0);
  V[ovmf::kFvRevisionOffset] = 2;
  ovmf::Store16(&V[0x38], static_cast<uint16_t>(Length / 0x100));
  ovmf::Store16(&V[0x3C], 0x100);
  if (UsedBytes) {
    auto Pad = std::span<uint8_t>(V).subspan(0x48, UsedBytes);
    std::fill(Pad.begin(), Pad.begin() + 16, 0x11);
    Pad[ovmf::kFfsTypeOffset] = ovmf::kFileTypePad;
    Pad[ovmf::kFfsAttributesOffset] = 0;
    ovmf::Store24(&Pad[ovmf::kFfsSizeOffset], static_cast<uint32_t>(UsedBytes));
    Pad[ovmf::kFfsStateOffset] = 0xF8;
    ovmf::SealFfsFile(Pad, ovmf::kFfsHeaderSize);
  }
  ovmf::SealFvHeader(V);
  return V;
}

const ovmf::Guid kModuleName = *board::ParseGuid(packaging::kSioModuleFileGuid);

std::vector<uint8_t> ModuleFile(packaging::ImageForm Form = packaging::ImageForm::Pe32) {
  return packaging::BuildSioModuleFile(pe::ReadFileBytes(SIO_IMAGE_FILE).value(),
                                       packaging::DepexChoice::True, Form);
}

// The base the placed file's image now carries: PE32 ImageBase, or where a
// TE image's RVA 0 lies.
uint32_t PlacedImageBase(std::span<const uint8_t> Volume, const ovmf::FfsFileView& File) {
  const auto Data = Volume.subspan(File.DataOffset(), File.Size - File.HeaderSize);
  for (const ovmf::SectionView& S : ovmf::ParseSections(Data, "file")) {
    const auto Bytes = Data.subspan(S.DataOffset(), S.DataSize());
    if (S.Type == ovmf::kSectionPe32)
      return pe::ReadPe32(Bytes).ImageBase;
    if (S.Type == ovmf::kSectionTe)
      return pe::ReadTe(Bytes).ImageBase;
  }
  return 0;
}

TEST(PeiVolumeInserter, PlacesAlignsRebasesAndSeals) {
  const auto Image = pe::ReadFileBytes(SIO_IMAGE_FILE).value();
  for (auto Form : {packaging::ImageForm::Pe32, packaging::ImageForm::Te}) {
    const auto File = ModuleFile(Form);
    // Free space starting at different offsets: with and without a pad file.
    for (size_t Used : {size_t{0}, size_t{0x18}, size_t{0x38}, size_t{0x58}, size_t{0x70}}) {
      auto V = Volume(0x4000, Used);
      const ovmf::Insertion In = ovmf::InsertPeim(V, kVolumeAddress, File);
      const ovmf::VolumeView View = ovmf::ParseVolume(V, "volume"); // sizes and checksums hold
      ASSERT_EQ(View.Files.size(), (Used ? 1u : 0u) + (In.PadSize ? 1u : 0u) + 1u);
      const ovmf::FfsFileView& Added = View.Files.back();
      EXPECT_EQ(Added.Name, kModuleName);
      EXPECT_EQ(Added.Offset, In.FileOffset);
      EXPECT_EQ(Added.State, 0xF8) << "valid state as an erase-polarity volume stores it";
      EXPECT_EQ(Added.DataOffset() % ovmf::FfsDataAlignment(Added.Attributes), 0u);
      if (Form == packaging::ImageForm::Pe32) {
        EXPECT_EQ(In.ImageAddress % pe::ReadPe32(Image).SectionAlignment, 0u);
      }
      EXPECT_TRUE(In.PadSize == 0 || In.PadSize >= ovmf::kFfsHeaderSize);
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
    auto Image = ovmf::OvmfImage::Parse(pe::ReadFileBytes(SIO_OVMF_CODE).value());
    const std::vector<uint8_t> Before(Image.PeiVolume().begin(), Image.PeiVolume().end());
    const ovmf::VolumeView Old = ovmf::ParseVolume(Before, "PEI volume");
    const ovmf::Insertion In = ovmf::InsertPeim(Image.PeiVolume(), Image.PeiVolumeAddress(),
                                                ModuleFile(Form), ovmf::InsertAt::AheadOfPeims);
    const auto After = Image.PeiVolume();
    const ovmf::VolumeView New = ovmf::ParseVolume(After, "PEI volume"); // checksums hold
    ASSERT_GT(In.Moved, 0u);
    EXPECT_EQ(In.Moved % 8, 0u);
    size_t Module = New.Files.size(), FirstPeim = New.Files.size();
    for (size_t I = 0; I < New.Files.size(); ++I) {
      if (New.Files[I].Name == kModuleName)
        Module = I;
      else if (New.Files[I].Type == ovmf::kFileTypePeim && FirstPeim == New.Files.size())
        FirstPeim = I;
    }
    ASSERT_LT(Module, FirstPeim) << "the module comes before every other PEIM";
    EXPECT_EQ(New.Files[Module].Offset, In.FileOffset);
    EXPECT_EQ(PlacedImageBase(After, New.Files[Module]), In.ImageAddress);
    size_t Moved = 0;
    for (const ovmf::FfsFileView& O : Old.Files) {
      if (O.Type == ovmf::kFileTypePad)
        continue;
      const auto Same = std::ranges::find(New.Files, O.Name, &ovmf::FfsFileView::Name);
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
        EXPECT_EQ(PlacedImageBase(After, *Same), OldBase + In.Moved) << ovmf::FormatGuid(O.Name);
      }
      EXPECT_EQ(Same->DataOffset() % ovmf::FfsDataAlignment(Same->Attributes), 0u);
    }
    EXPECT_GT(Moved, 10u) << "OVMF's PEIMs moved";
  }
}

TEST(PeiVolumeInserter, KeepsTheFileChecksumRightAfterRebasing) {
  for (bool RealChecksum : {true, false}) {
    auto File = ModuleFile();
    if (!RealChecksum) {
      File[ovmf::kFfsAttributesOffset] &= ~ovmf::kFfsAttribChecksum;
      ovmf::SealFfsFile(File, ovmf::kFfsHeaderSize);
    }
    auto V = Volume(0x4000, 0x38);
    const ovmf::Insertion In = ovmf::InsertPeim(V, kVolumeAddress, File);
    EXPECT_NO_THROW(ovmf::ParseVolume(V, "volume")); // verifies both checksums
    EXPECT_EQ((V[In.FileOffset + ovmf::kFfsAttributesOffset] & ovmf::kFfsAttribChecksum) != 0,
              RealChecksum);
  }
}

TEST(PeiVolumeInserter, RefusesAndLeavesTheVolumeAlone) {
  const auto Good = ModuleFile();
  auto BadHeaderChecksum = Good;
  BadHeaderChecksum[ovmf::kFfsHeaderChecksumOffset] ^= 1;
  auto NotPeim = Good;
  NotPeim[ovmf::kFfsTypeOffset] = 0x07;
  ovmf::SealFfsFile(NotPeim, ovmf::kFfsHeaderSize);
  auto Truncated = Good;
  Truncated.resize(Good.size() / 2);
  auto CopiedOutOfAVolume = Good;
  CopiedOutOfAVolume[ovmf::kFfsStateOffset] = 0xF8;
  struct Case {
    const char* What;
    std::vector<uint8_t> File;
    size_t VolumeLength;
  };
  const Case Cases[] = {
      {"bad header checksum", BadHeaderChecksum, 0x4000},
      {"not a PEIM", NotPeim, 0x4000},
      {"cut short", Truncated, 0x4000},
      {"state as a volume stores it", CopiedOutOfAVolume, 0x4000},
      {"volume too small", Good, 0x200},
  };
  for (const Case& C : Cases) {
    auto V = Volume(C.VolumeLength, 0x38);
    const auto Before = V;
    EXPECT_THROW(ovmf::InsertPeim(V, kVolumeAddress, C.File), ovmf::FirmwareError) << C.What;
    EXPECT_EQ(V, Before) << C.What;
  }
  auto V = Volume(0x4000, 0);
  ovmf::InsertPeim(V, kVolumeAddress, Good);
  const auto Before = V;
  EXPECT_THROW(ovmf::InsertPeim(V, kVolumeAddress, Good), ovmf::FirmwareError) << "same name twice";
  EXPECT_EQ(V, Before);
}

} // namespace
