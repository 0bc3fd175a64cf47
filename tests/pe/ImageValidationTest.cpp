// SPDX-License-Identifier: BSD-2-Clause-Patent
// One validation of the module image, and every reader of an image runs it:
// mutated copies of the real image are refused by the image check, the
// packer (both forms), the emulator's loader and the OVMF insertion, each
// before anything is allocated from the header field at fault.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "board/ScenarioCatalog.h"
#include "emulator/ImageEngine.h"
#include "ovmf/PeiVolumeInserter.h"
#include "packaging/SioModuleFile.h"
#include "pe/ImageCheck.h"
#include "pe/PeFile.h"
#include "pe/PeRebase.h"
#include "pi/Checksum.h"
#include "pi/FirmwareVolume.h"
#include "tests/support/ImageFixture.h"

namespace {

using test::BuiltImage;
using test::Offsets;
using test::Poke;

using Patch = std::function<void(std::vector<uint8_t>&)>;

struct Mutation {
  const char* Name;
  Patch Break;
  const char* Reason; // part of the one-line error every reader gives
};

uint32_t Peek32(const std::vector<uint8_t>& Image, size_t Offset) {
  uint32_t Value;
  std::memcpy(&Value, Image.data() + Offset, 4);
  return Value;
}

// File offset of the first relocation block of the image.
size_t RelocationBlock(const std::vector<uint8_t>& Image) {
  const uint32_t Rva = Peek32(Image, Offsets(Image).Directory(pe::kDirectoryBaseRelocation));
  const pe::PeFile File = pe::ReadPeFile(Image).Value();
  const pe::SectionHeader* S = File.SectionAt(Rva);
  return S->RawOffset + (Rva - S->VirtualAddress);
}

// Each a fault found in images fed to the tools (SizeOfImage 0xFFFFFFFF made
// the image check and the OVMF insertion allocate 4 GiB; the packer wrapped
// images the image check refused; the check passed absurd alignments).
std::vector<Mutation> Mutations() {
  const auto O = Offsets(BuiltImage());
  const size_t SizeOfImage = O.Optional + 56, SizeOfHeaders = O.Optional + 60;
  const size_t SectionAlignment = O.Optional + 32, FileAlignment = O.Optional + 36;
  const size_t Directories = O.Optional + 92;
  return {
      {"SizeOfImage 0xFFFFFFFF", [=](auto& I) { Poke<uint32_t>(I, SizeOfImage, 0xFFFFFFFF); },
       "SizeOfImage"},
      {"SizeOfImage 64 MiB", [=](auto& I) { Poke<uint32_t>(I, SizeOfImage, 64u << 20); },
       "SizeOfImage"},
      {"SizeOfImage 0", [=](auto& I) { Poke<uint32_t>(I, SizeOfImage, 0); }, "SizeOfImage"},
      {"SectionAlignment 0", [=](auto& I) { Poke<uint32_t>(I, SectionAlignment, 0); },
       "SectionAlignment"},
      {"SectionAlignment 0xFFFFFFFF",
       [=](auto& I) { Poke<uint32_t>(I, SectionAlignment, 0xFFFFFFFF); }, "SectionAlignment"},
      {"FileAlignment 0", [=](auto& I) { Poke<uint32_t>(I, FileAlignment, 0); }, "FileAlignment"},
      {"SizeOfHeaders 0", [=](auto& I) { Poke<uint32_t>(I, SizeOfHeaders, 0); }, "SizeOfHeaders"},
      {"no data directories", [=](auto& I) { Poke<uint32_t>(I, Directories, 0); },
       "no base relocation directory"},
      {"no relocation directory",
       [=](auto& I) { Poke<uint64_t>(I, O.Directory(pe::kDirectoryBaseRelocation), 0); },
       "no base relocation directory"},
      {"relocation block of size 0", [](auto& I) { Poke<uint32_t>(I, RelocationBlock(I) + 4, 0); },
       "bad size 0x0"},
      {"code section writable",
       [=](auto& I) {
         Poke<uint32_t>(I, O.SectionCharacteristics(0),
                        Peek32(I, O.SectionCharacteristics(0)) | pe::kSectionWrite);
       },
       "writable"},
      {"entry point 0", [=](auto& I) { Poke<uint32_t>(I, O.EntryRva(), 0); }, "entry point"},
      {"entry point outside the image", [=](auto& I) { Poke<uint32_t>(I, O.EntryRva(), 0x7FFF0); },
       "entry point"},
      {"subsystem EFI application", [=](auto& I) { Poke<uint16_t>(I, O.Subsystem(), 10); },
       "subsystem"},
      {"machine x64", [=](auto& I) { Poke<uint16_t>(I, O.Machine(), 0x8664); }, "machine"},
  };
}

std::vector<uint8_t> Broken(const Mutation& M) {
  std::vector<uint8_t> Image = BuiltImage();
  M.Break(Image);
  return Image;
}

TEST(ImageValidation, TheRealImagePassesEveryReader) {
  ASSERT_TRUE(pe::ValidatePe32Image(BuiltImage()).Ok());
  EXPECT_TRUE(pe::CheckImage(BuiltImage(), test::kImageBase).Passed());
}

TEST(ImageValidation, TheImageCheckRefusesEachMutation) {
  for (const Mutation& M : Mutations()) {
    const auto Image = Broken(M);
    const pe::ImageCheckReport R = pe::CheckImage(Image, test::kImageBase);
    EXPECT_FALSE(R.Passed()) << M.Name << "\n" << pe::FormatImageCheck(R);
    const auto Valid = pe::ValidatePe32Image(Image);
    ASSERT_FALSE(Valid.Ok()) << M.Name;
    EXPECT_EQ(Valid.Kind(), sio::ErrorKind::BadInput) << M.Name;
    EXPECT_NE(Valid.Message().find(M.Reason), std::string::npos)
        << M.Name << ": " << Valid.Message();
    EXPECT_EQ(Valid.Message().find('\n'), std::string::npos) << M.Name;
  }
}

TEST(ImageValidation, ThePackerRefusesWhatTheImageCheckRefuses) {
  for (const Mutation& M : Mutations()) {
    const auto Image = Broken(M);
    for (auto Form : {packaging::ImageForm::Pe32, packaging::ImageForm::Te}) {
      const auto File = packaging::BuildSioModuleFile(Image, packaging::DepexChoice::True, Form);
      ASSERT_FALSE(File.Ok()) << M.Name;
      EXPECT_EQ(File.Kind(), sio::ErrorKind::BadInput) << M.Name;
      EXPECT_NE(File.Message().find(M.Reason), std::string::npos)
          << M.Name << ": " << File.Message();
    }
  }
}

TEST(ImageValidation, TheEmulatorLoaderRefusesEachMutationBeforeRunning) {
  emulator::ImageRunOptions Options;
  Options.Rehearse = false; // refused before anything runs
  for (const Mutation& M : Mutations()) {
    for (std::optional<uint32_t> At : {std::optional<uint32_t>(), std::optional(0x00200000u)}) {
      const auto R = emulator::RunImagePass(Broken(M), board::DefaultScenario(), {At});
      EXPECT_FALSE(R.Completed) << M.Name;
      EXPECT_NE(R.Fault.find("bad image: "), std::string::npos) << M.Name << ": " << R.Fault;
      EXPECT_NE(R.Fault.find(M.Reason), std::string::npos) << M.Name << ": " << R.Fault;
      EXPECT_TRUE(R.Result.Events.empty()) << M.Name;
    }
  }
}

// The module's file (as the build packs it) with its PE32 section's image
// broken and the file's checksums made right again: only the image is wrong.
std::vector<uint8_t> FileWithBrokenImage(const Mutation& M) {
  std::vector<uint8_t> File =
      packaging::BuildSioModuleFile(BuiltImage(), packaging::DepexChoice::True).Value();
  const auto Sections = pi::ListSections(File).Value();
  for (const pi::SectionView& S : Sections) {
    if (S.Type != pi::section_type::kPe32)
      continue;
    std::vector<uint8_t> Image(File.begin() + static_cast<ptrdiff_t>(S.DataOffset()),
                               File.begin() +
                                   static_cast<ptrdiff_t>(S.DataOffset() + S.DataSize()));
    M.Break(Image);
    std::copy(Image.begin(), Image.end(), File.begin() + static_cast<ptrdiff_t>(S.DataOffset()));
  }
  pi::SealFfsFile(File, sizeof(pi::FfsFileHeader));
  return File;
}

// An empty erase-polarity volume at the PEI volume's address in OVMF.
std::vector<uint8_t> EmptyVolume() {
  std::vector<uint8_t> Ffs = FileWithBrokenImage({"none", [](auto&) {}, ""});
  auto Built = pi::BuildFirmwareVolume({Ffs}).Value().Bytes;
  // Keep the header, erase the files: an empty volume of the same length.
  std::fill(Built.begin() + pi::kFvMinHeaderLength, Built.end(), 0xFF);
  return Built;
}

TEST(ImageValidation, TheOvmfInsertionRefusesEachMutationAndLeavesTheVolumeAlone) {
  const auto Empty = EmptyVolume();
  {
    auto V = Empty;
    const auto Good = FileWithBrokenImage({"none", [](auto&) {}, ""});
    ASSERT_TRUE(ovmf::InsertPeim(V, 0x820000, Good).Ok()) << "the unbroken file goes in";
  }
  for (const Mutation& M : Mutations()) {
    auto V = Empty;
    const auto Inserted = ovmf::InsertPeim(V, 0x820000, FileWithBrokenImage(M));
    ASSERT_FALSE(Inserted.Ok()) << M.Name;
    EXPECT_EQ(Inserted.Kind(), sio::ErrorKind::BadInput) << M.Name;
    EXPECT_NE(Inserted.Message().find(M.Reason), std::string::npos)
        << M.Name << ": " << Inserted.Message();
    EXPECT_EQ(V, Empty) << M.Name;
  }
}

// An image that must move and has no relocations cannot be moved: refused,
// left as it was, wherever it is asked to move (it was once "rebased" with 0
// relocations and the result silently broken).
TEST(ImageValidation, AnImageThatMustMoveWithoutRelocationsIsRefused) {
  auto Image = BuiltImage();
  Poke<uint64_t>(Image, Offsets(Image).Directory(pe::kDirectoryBaseRelocation), 0);
  const auto Before = Image;
  const auto Moved = pe::RebasePe32(Image, 0x00847000);
  ASSERT_FALSE(Moved.Ok());
  EXPECT_EQ(Moved.Kind(), sio::ErrorKind::Refused);
  EXPECT_NE(Moved.Message().find("no base relocations"), std::string::npos) << Moved.Message();
  EXPECT_EQ(Image, Before);
  // Staying where it is linked needs no relocation.
  EXPECT_EQ(pe::RebasePe32(Image, test::kImageBase).Value(), 0u);
}

} // namespace
