// SPDX-License-Identifier: BSD-2-Clause-Patent
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "common/BuildPaths.h"
#include "packaging/SioModuleFile.h"
#include "pe/PeFile.h"
#include "pe/TeImage.h"
#include "pi/Depex.h"
#include "pi/FfsFile.h"
#include "tests/pi/PiTestSupport.h"

namespace {

using namespace packaging;
using namespace pi;
using namespace pitest;

pe::PeFile ReadPe32Image(std::span<const uint8_t> Image) {
  return pe::ReadPeFile(Image).Value();
}

std::vector<uint8_t> BuiltImage() {
  std::ifstream In(sio::build::kImageFile, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

TEST(SioModuleFile, CarriesDepexImageAndNameUnderTheModuleGuid) {
  const auto Image = BuiltImage();
  ASSERT_FALSE(Image.empty());
  const uint32_t Alignment = ReadPe32Image(Image).SectionAlignment;
  for (DepexChoice Choice : {DepexChoice::VariablePpi, DepexChoice::True, DepexChoice::False}) {
    const auto File = *BuildSioModuleFile(Image, Choice);
    const FfsFileView Info = *ReadFfsFile(File);
    EXPECT_EQ(pi::FormatGuid(Info.Name), kSioModuleFileGuid);
    EXPECT_EQ(Info.Type, file_type::kPeim);
    EXPECT_EQ(Info.Attributes & file_attr::kChecksum, file_attr::kChecksum);
    EXPECT_GE(DecodeDataAlignment(Info.Attributes), Alignment);

    std::vector<uint8_t> Types, Depex, Pe32, Name;
    size_t Pe32Body = 0;
    const auto Sections = ListSections(File).Value();
    for (const SectionView& S : Sections) {
      Types.push_back(S.Type);
      const std::vector<uint8_t> Body = pitest::Body(File, S);
      if (S.Type == section_type::kPeiDepex)
        Depex = Body;
      if (S.Type == section_type::kPe32) {
        Pe32 = Body;
        Pe32Body = S.Offset + kSectionHeaderSize;
      }
      if (S.Type == section_type::kUserInterface)
        Name = Body;
    }
    EXPECT_EQ(Types.front(), section_type::kPeiDepex);
    EXPECT_EQ(Types.back(), section_type::kUserInterface);
    EXPECT_EQ(Depex, EncodeDepex(Choice));
    EXPECT_EQ(Pe32, Image);
    EXPECT_EQ((Pe32Body - kFileHeaderSize) % Alignment, 0u);
    EXPECT_EQ(Name, UserInterfaceBody(u"SioF81216aPei"));
  }
}

// A firmware's dependency section is named after the choice it was packed
// with only when its bytes are exactly that choice's expression.
TEST(SioModuleFile, DepexBytesAreMatchedToTheirChoiceOnlyWhenExact) {
  for (DepexChoice Choice : {DepexChoice::VariablePpi, DepexChoice::True, DepexChoice::False}) {
    std::vector<uint8_t> Bytes = EncodeDepex(Choice);
    EXPECT_EQ(MatchDepexChoice(Bytes), Choice) << DepexChoiceName(Choice);
    Bytes.insert(Bytes.begin(), 0x06); // TRUE pushed ahead: another expression
    EXPECT_EQ(MatchDepexChoice(Bytes), std::nullopt) << DepexChoiceName(Choice);
    EXPECT_EQ(MatchDepexChoice(std::span(Bytes).subspan(2)), std::nullopt)
        << DepexChoiceName(Choice);
  }
  EXPECT_EQ(MatchDepexChoice({}), std::nullopt);
}

TEST(SioModuleFile, TeFormReplacesThePeHeadersAndKeepsTheRest) {
  const auto Image = BuiltImage();
  const pe::PeFile Pe = ReadPe32Image(Image);
  const pe::TeImage Te = *pe::ConvertToTe(Image);
  // The section table starts after "PE\0\0", the 20-byte file header and the optional header.
  const uint32_t PeHeader = GetLe<uint32_t>(Image, 0x3C);
  EXPECT_EQ(Te.StrippedSize, PeHeader + 4 + 20 + GetLe<uint16_t>(Image, PeHeader + 20));
  EXPECT_EQ(Te.Bytes.size(), Image.size() - Te.StrippedSize + kTeHeaderSize);
  EXPECT_TRUE(std::equal(Te.Bytes.begin() + kTeHeaderSize, Te.Bytes.end(),
                         Image.begin() + Te.StrippedSize));
  EXPECT_EQ(Te.Bytes[0], 'V');
  EXPECT_EQ(Te.Bytes[1], 'Z');
  EXPECT_EQ(GetLe<uint16_t>(Te.Bytes, 2), 0x014C);
  EXPECT_EQ(Te.Bytes[4], GetLe<uint16_t>(Image, PeHeader + 6)); // number of sections
  EXPECT_EQ(Te.Bytes[5], 11);                                   // EFI boot service driver
  EXPECT_EQ(GetLe<uint16_t>(Te.Bytes, 6), Te.StrippedSize);
  EXPECT_EQ(GetLe<uint32_t>(Te.Bytes, 8), Pe.EntryRva);
  EXPECT_EQ(GetLe<uint64_t>(Te.Bytes, 0x10), Pe.ImageBase);
  // Base relocations and debug directory, as the optional header lists them.
  const size_t Directories = PeHeader + 24 + 96;
  EXPECT_EQ(GetLe<uint64_t>(Te.Bytes, 0x18), GetLe<uint64_t>(Image, Directories + 5 * 8));
  EXPECT_EQ(GetLe<uint64_t>(Te.Bytes, 0x20), GetLe<uint64_t>(Image, Directories + 6 * 8));

  // In the file, the image's address 0 (TE header + 40 - StrippedSize) is aligned.
  const auto File = *BuildSioModuleFile(Image, DepexChoice::VariablePpi, ImageForm::Te);
  bool Found = false;
  const auto Sections = ListSections(File).Value();
  for (const SectionView& S : Sections) {
    if (S.Type != section_type::kTe)
      continue;
    Found = true;
    EXPECT_EQ(pitest::Body(File, S), Te.Bytes);
    const size_t Body = S.Offset + kSectionHeaderSize - kFileHeaderSize;
    EXPECT_EQ((Body + kTeHeaderSize + Pe.SectionAlignment * 64 - Te.StrippedSize) %
                  Pe.SectionAlignment,
              0u);
  }
  EXPECT_TRUE(Found);
}

TEST(SioModuleFile, RefusesWhatIsNotAnIa32Pe32Image) {
  const auto Image = BuiltImage();
  ASSERT_GT(Image.size(), 0x40u);
  auto OtherMachine = Image;
  const size_t PeHeader = Image[0x3C] | Image[0x3D] << 8;
  OtherMachine[PeHeader + 4] = 0x64; // 0x8664, x86-64
  OtherMachine[PeHeader + 5] = 0x86;
  const std::vector<std::vector<uint8_t>> Bad = {
      {},
      std::vector<uint8_t>(Image.begin(), Image.begin() + 0x40),
      std::vector<uint8_t>(512, 0x4D),
      OtherMachine};
  for (const auto& B : Bad) {
    for (auto Form : {ImageForm::Pe32, ImageForm::Te}) {
      const auto Built = BuildSioModuleFile(B, DepexChoice::True, Form);
      ASSERT_FALSE(Built.Ok()) << B.size();
      EXPECT_EQ(Built.Kind(), sio::ErrorKind::BadInput) << B.size() << ": " << Built.Message();
    }
  }
}

} // namespace
