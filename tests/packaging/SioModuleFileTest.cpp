#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "packaging/FfsFile.h"
#include "packaging/PeImage.h"
#include "packaging/SioModuleFile.h"

namespace {

using namespace packaging;

std::vector<uint8_t> BuiltImage() {
  std::ifstream In(SIO_IMAGE_FILE, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

TEST(SioModuleFile, CarriesDepexImageAndNameUnderTheModuleGuid) {
  const auto Image = BuiltImage();
  ASSERT_FALSE(Image.empty());
  const uint32_t Alignment = ReadPeImage(Image).SectionAlignment;
  for (DepexChoice Choice : {DepexChoice::VariablePpi, DepexChoice::True, DepexChoice::False}) {
    const auto File = BuildSioModuleFile(Image, Choice);
    const FileHeaderInfo Info = ReadFfsFile(File);
    EXPECT_EQ(board::FormatGuid(Info.Name), kSioModuleFileGuid);
    EXPECT_EQ(Info.Type, file_type::kPeim);
    EXPECT_EQ(Info.Attributes & file_attr::kChecksum, file_attr::kChecksum);
    EXPECT_GE(Info.DataAlignment, Alignment);

    std::vector<uint8_t> Types, Depex, Pe32, Name;
    size_t Pe32Body = 0;
    for (const SectionView& S : ListSections(File)) {
      Types.push_back(S.Type);
      const std::vector<uint8_t> Body(S.Body.begin(), S.Body.end());
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
    EXPECT_THROW(BuildSioModuleFile(B, DepexChoice::True), std::runtime_error) << B.size();
  }
}

} // namespace
