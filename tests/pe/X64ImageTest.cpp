// SPDX-License-Identifier: BSD-2-Clause-Patent
// The X64 image (PE32+) beside the IA-32 one (PE32): the same readers, checks,
// stub removal, rebasing and TE conversion take both, each held to its own
// machine's header form and relocation type.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "common/BuildPaths.h"
#include "firmware/SioImageLayout.h"
#include "firmware/SioImageLayoutX64.h"
#include "packaging/SioModuleFile.h"
#include "pe/DosStub.h"
#include "pe/ImageCheck.h"
#include "pe/PeFile.h"
#include "pe/PeRebase.h"
#include "pe/TeImage.h"
#include "pi/FfsFile.h"
#include "pi/Records.h"
#include "tests/support/ImageFixture.h"

namespace {

using test::BuiltImage;
using test::BuiltX64Image;
using test::Offsets;
using test::Poke;

template <typename T> T Peek(std::span<const uint8_t> Bytes, size_t Offset) {
  T Value;
  std::memcpy(&Value, Bytes.data() + Offset, sizeof Value);
  return Value;
}

struct BuiltForm {
  const char* Name;
  const std::vector<uint8_t>& (*Image)();
  const char* LinkedPath;
  uint16_t Machine;
  uint16_t Magic;
  uint8_t RelocationType;
  uint32_t SiteBytes;
  uint32_t EntryRva; // the link map's, less the stub (firmware/SioImageLayout*.h)
};

std::string Linked(const char* Path) {
  std::string Linked = Path;
  return Linked.replace(Linked.size() - 4, 4, ".linked.efi");
}

const BuiltForm kForms[] = {
    {"IA-32", BuiltImage, sio::build::kImageFile, pe::kMachineI386, pe::kMagicPe32, 3, 4,
     sio::image::kEntryRva},
    {"X64", BuiltX64Image, sio::build::kX64ImageFile, pe::kMachineX64, pe::kMagicPe32Plus, 10, 8,
     sio::image::x64::kEntryRva},
};

// The relocation sites of an image laid out as in memory (file offset == RVA).
std::vector<pe::BaseRelocation> Relocations(std::span<const uint8_t> Image) {
  const pe::PeFile File = pe::ReadPeFile(Image).Value();
  const auto Laid = pe::LayOutImage(File, Image).Value();
  return pe::ReadBaseRelocations(File, Laid).Value();
}

uint64_t Site(std::span<const uint8_t> Bytes, size_t At, uint32_t Width) {
  return Width == 8 ? Peek<uint64_t>(Bytes, At) : Peek<uint32_t>(Bytes, At);
}

TEST(BothImages, HeaderFieldsFollowTheirMachine) {
  for (const BuiltForm& F : kForms) {
    SCOPED_TRACE(F.Name);
    const auto File = pe::ReadPeFile(F.Image());
    ASSERT_TRUE(File) << File.Message();
    EXPECT_EQ(File->Machine, F.Machine);
    EXPECT_EQ(File->Magic, F.Magic);
    ASSERT_NE(File->Mode(), nullptr);
    EXPECT_STREQ(File->Mode()->Name, F.Name);
    EXPECT_EQ(File->Subsystem, pe::kSubsystemEfiBootServiceDriver);
    EXPECT_EQ(File->ImageBase, test::kImageBase);
    EXPECT_EQ(File->EntryRva, F.EntryRva);
    EXPECT_EQ(File->SectionAlignment, File->FileAlignment);
    EXPECT_EQ(File->SizeOfImage, F.Image().size()); // laid out as in memory, nothing after
    for (const pe::SectionHeader& S : File->Sections) {
      EXPECT_FALSE(S.Writable()) << S.Name;
      EXPECT_EQ(S.RawOffset, S.VirtualAddress) << S.Name;
    }
    const auto Sites = Relocations(F.Image());
    ASSERT_FALSE(Sites.empty());
    for (const pe::BaseRelocation& R : Sites) {
      EXPECT_EQ(R.Type, F.RelocationType);
      // Every fixed address points into the image as linked.
      const uint64_t Target = Site(F.Image(), R.Rva, F.SiteBytes);
      EXPECT_GE(Target, File->ImageBase + File->SizeOfHeaders);
      EXPECT_LT(Target, File->ImageBase + File->SizeOfImage);
    }
    const pe::ImageCheckReport Report = pe::CheckImage(F.Image(), test::kImageBase);
    EXPECT_TRUE(Report.Passed()) << pe::FormatImageCheck(Report);
  }
}

TEST(BothImages, EachIsItsLinkWithoutTheStub) {
  for (const BuiltForm& F : kForms) {
    SCOPED_TRACE(F.Name);
    const auto LinkedBytes = pe::ReadFileBytes(Linked(F.LinkedPath)).value();
    auto Dropped = pe::DropDosStub(LinkedBytes);
    ASSERT_TRUE(Dropped) << Dropped.Message();
    EXPECT_EQ(Dropped->Moved, 56u);
    EXPECT_EQ(Dropped->Image, F.Image());
    // Each fixed address moved down with what it points at, all its bytes.
    const auto Before = Relocations(LinkedBytes);
    const auto After = Relocations(F.Image());
    ASSERT_EQ(Before.size(), After.size());
    for (size_t I = 0; I < Before.size(); ++I) {
      EXPECT_EQ(After[I].Rva, Before[I].Rva - 56);
      EXPECT_EQ(Site(F.Image(), After[I].Rva, F.SiteBytes),
                Site(LinkedBytes, Before[I].Rva, F.SiteBytes) - 56);
    }
  }
}

TEST(BothImages, RebaseMovesEverySiteAndComesBack) {
  struct Move {
    const BuiltForm& Form;
    uint64_t To;
  };
  // The X64 image moves above 4 GiB: every byte of its DIR64 sites changes.
  const Move Moves[] = {
      {kForms[0], 0x00820000}, {kForms[1], 0x00820000}, {kForms[1], 0x0000123456780000ull}};
  for (const Move& M : Moves) {
    SCOPED_TRACE(std::string(M.Form.Name) + " to " + std::to_string(M.To));
    std::vector<uint8_t> Image = M.Form.Image();
    const auto Sites = Relocations(Image);
    ASSERT_EQ(pe::RebasePe32(Image, M.To).Value(), Sites.size());
    const auto Info = pe::ReadPe32(Image);
    ASSERT_TRUE(Info) << Info.Message();
    EXPECT_EQ(Info->ImageBase, M.To);
    EXPECT_EQ(Info->Machine, M.Form.Machine);
    for (const pe::BaseRelocation& R : Sites)
      EXPECT_EQ(Site(Image, R.Rva, M.Form.SiteBytes),
                Site(M.Form.Image(), R.Rva, M.Form.SiteBytes) - test::kImageBase + M.To);
    // Laid out in memory, the loader's way gives the same sites.
    const pe::PeFile File = pe::ReadPeFile(M.Form.Image()).Value();
    auto Memory = pe::LayOutImage(File, M.Form.Image()).Value();
    ASSERT_TRUE(pe::RelocateLaidOutImage(File, Memory, M.To).Ok());
    for (const pe::BaseRelocation& R : Sites)
      EXPECT_EQ(Site(Memory, R.Rva, M.Form.SiteBytes), Site(Image, R.Rva, M.Form.SiteBytes));
    ASSERT_TRUE(pe::RebasePe32(Image, test::kImageBase).Ok());
    EXPECT_EQ(Image, M.Form.Image());
  }
}

TEST(BothImages, APe32CannotMoveAbove4GiB) {
  std::vector<uint8_t> Image = BuiltImage();
  const auto Moved = pe::RebasePe32(Image, 0x100000000ull);
  ASSERT_FALSE(Moved);
  EXPECT_NE(Moved.Message().find("4 GiB"), std::string::npos) << Moved.Message();
  EXPECT_EQ(Image, BuiltImage());
  auto Te = pe::ConvertToTe(BuiltImage()).Value();
  EXPECT_FALSE(pe::RebaseTe(Te.Bytes, 0x100000000ull));
}

TEST(BothImages, TeFormKeepsTheSectionsAndTheMachine) {
  for (const BuiltForm& F : kForms) {
    SCOPED_TRACE(F.Name);
    const auto File = pe::ReadPeFile(F.Image()).Value();
    auto Te = pe::ConvertToTe(F.Image());
    ASSERT_TRUE(Te) << Te.Message();
    EXPECT_EQ(Te->StrippedSize, File.SectionTableOffset);
    EXPECT_EQ(Te->Bytes.size(), F.Image().size() - Te->StrippedSize + pi::kTeHeaderSize);
    EXPECT_TRUE(std::equal(Te->Bytes.begin() + pi::kTeHeaderSize, Te->Bytes.end(),
                           F.Image().begin() + Te->StrippedSize));
    const pi::TeHeader H = Peek<pi::TeHeader>(Te->Bytes, 0);
    EXPECT_EQ(H.Machine, F.Machine);
    EXPECT_EQ(H.ImageBase, File.ImageBase);
    EXPECT_EQ(H.AddressOfEntryPoint, File.EntryRva);
    const auto Valid = pe::ValidateTeImage(Te->Bytes);
    ASSERT_TRUE(Valid) << Valid.Message();
    EXPECT_EQ(Valid->Machine, F.Machine);
    EXPECT_EQ(Valid->Relocations, Relocations(F.Image()).size());
    EXPECT_EQ(pe::ValidateModuleImage(Te->Bytes).Value(), pe::ImageKind::Te);

    // Moved, the TE sites hold what the PE32 or PE32+ sites hold moved alike.
    std::vector<uint8_t> MovedPe = F.Image();
    const uint64_t To = F.SiteBytes == 8 ? 0x0000123456780000ull : 0x00820000;
    ASSERT_TRUE(pe::RebasePe32(MovedPe, To).Ok());
    std::vector<uint8_t> MovedTe = Te->Bytes;
    ASSERT_TRUE(pe::RebaseTe(MovedTe, To).Ok());
    EXPECT_EQ(pe::ReadTe(MovedTe)->ImageBase, To);
    EXPECT_TRUE(std::equal(MovedTe.begin() + pi::kTeHeaderSize, MovedTe.end(),
                           MovedPe.begin() + Te->StrippedSize));
    ASSERT_TRUE(pe::RebaseTe(MovedTe, File.ImageBase).Ok());
    EXPECT_EQ(MovedTe, Te->Bytes);
  }
}

TEST(BothImages, RelocationSitesAreApartByTheirWidth) {
  struct Case {
    std::vector<size_t> Sites;
    uint32_t Width;
    bool Apart;
  };
  const pe::ReservedBytes Headers[] = {{0, 0x40}};
  const Case Cases[] = {
      {{0x100, 0x104}, 4, true}, {{0x100, 0x104}, 8, false}, {{0x100, 0x108}, 8, true},
      {{0x3C, 0x100}, 4, false}, {{0x38, 0x100}, 8, false},  {{0x40, 0x100}, 8, true},
      {{0x108, 0x100}, 8, true}, {{0x107, 0x100}, 8, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Sites[0]) + "," + std::to_string(C.Sites[1]) + " width " +
                 std::to_string(C.Width));
    EXPECT_EQ(pe::CheckSitesApart(C.Sites, Headers, C.Width).Ok(), C.Apart);
  }
}

// A PE32+ with one field wrong, and the words every reader gives for it.
struct X64Mutation {
  const char* Name;
  std::function<void(std::vector<uint8_t>&)> Break;
  const char* Reason;
};

std::vector<X64Mutation> X64Mutations() {
  const auto O = Offsets(BuiltX64Image());
  // The first entry word of the first relocation block (the image is laid
  // out as in memory: the directory's RVA is its file offset).
  const auto EntryWord = [=](const std::vector<uint8_t>& I) {
    const uint32_t Directory = Peek<uint32_t>(I, O.Directory(pe::kDirectoryBaseRelocation));
    return static_cast<size_t>(Directory) + sizeof(pe::RelocationBlockHeader);
  };
  return {
      {"PE32 magic on X64", [=](auto& I) { Poke<uint16_t>(I, O.Magic(), pe::kMagicPe32); },
       "in a PE32 image"},
      {"IA-32 machine in PE32+", [=](auto& I) { Poke<uint16_t>(I, O.Machine(), pe::kMachineI386); },
       "PE32"},
      {"unknown machine", [=](auto& I) { Poke<uint16_t>(I, O.Machine(), 0xAA64); }, "machine"},
      {"subsystem 10", [=](auto& I) { Poke<uint16_t>(I, O.Subsystem(), 10); }, "subsystem"},
      {"SizeOfImage 0xFFFFFFFF", [=](auto& I) { Poke<uint32_t>(I, O.Optional + 56, 0xFFFFFFFF); },
       "SizeOfImage"},
      {"no relocation directory",
       [=](auto& I) { Poke<uint64_t>(I, O.Directory(pe::kDirectoryBaseRelocation), 0); },
       "no base relocation directory"},
      {"HIGHLOW relocation in X64",
       [=](auto& I) {
         const size_t At = EntryWord(I);
         Poke<uint16_t>(I, At,
                        static_cast<uint16_t>((Peek<uint16_t>(I, At) & 0x0FFF) |
                                              pe::kRelocationHighLow << 12));
       },
       "only DIR64"},
      {"code section writable",
       [=](auto& I) {
         Poke<uint32_t>(I, O.SectionCharacteristics(0),
                        Peek<uint32_t>(I, O.SectionCharacteristics(0)) | pe::kSectionWrite);
       },
       "writable"},
  };
}

TEST(X64Image, EveryReaderRefusesAPe32PlusWithABadField) {
  for (const X64Mutation& M : X64Mutations()) {
    SCOPED_TRACE(M.Name);
    std::vector<uint8_t> Image = BuiltX64Image();
    M.Break(Image);
    ASSERT_NE(Image, BuiltX64Image());
    const auto Valid = pe::ValidatePe32Image(Image);
    ASSERT_FALSE(Valid);
    EXPECT_NE(Valid.Message().find(M.Reason), std::string::npos) << Valid.Message();
    EXPECT_FALSE(packaging::BuildSioModuleFile(Image, packaging::DepexChoice::True,
                                               packaging::ImageForm::Pe32));
  }
}

TEST(X64Image, ThePackerWrapsBothForms) {
  const struct {
    packaging::ImageForm Form;
    uint8_t SectionType;
  } Forms[] = {{packaging::ImageForm::Pe32, pi::section_type::kPe32},
               {packaging::ImageForm::Te, pi::section_type::kTe}};
  for (const auto& F : Forms) {
    const auto File =
        packaging::BuildSioModuleFile(BuiltX64Image(), packaging::DepexChoice::VariablePpi, F.Form);
    ASSERT_TRUE(File) << File.Message();
    const auto Sections = pi::ListSections(*File).Value();
    const auto Image = std::find_if(Sections.begin(), Sections.end(),
                                    [&](const auto& S) { return S.Type == F.SectionType; });
    ASSERT_NE(Image, Sections.end());
    const auto Body =
        std::span<const uint8_t>(*File).subspan(Image->DataOffset(), Image->DataSize());
    EXPECT_EQ(pe::ValidateModuleImage(Body).Value(),
              F.Form == packaging::ImageForm::Te ? pe::ImageKind::Te : pe::ImageKind::Pe32);
    if (F.Form == packaging::ImageForm::Pe32)
      EXPECT_TRUE(
          std::equal(Body.begin(), Body.end(), BuiltX64Image().begin(), BuiltX64Image().end()));
    else
      EXPECT_EQ(pe::ReadTe(Body)->Machine, pe::kMachineX64);
  }
}

} // namespace
