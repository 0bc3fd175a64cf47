// SPDX-License-Identifier: BSD-2-Clause-Patent
// The setup driver's DXE driver file: type, sections in order, the DXE
// dependency expression the dispatcher evaluates, the image and the name.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "common/BuildPaths.h"
#include "packaging/SetupDriverFile.h"
#include "pi/Depex.h"
#include "pi/FfsFile.h"
#include "pi/KnownGuids.h"
#include "tests/pi/PiTestSupport.h"

namespace {

std::vector<uint8_t> ReadFile(const char* Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

TEST(SetupDriverFile, CarriesDxeDepexImageAndNameUnderItsGuid) {
  for (const char* Path : {sio::build::kSetupDxeFile, sio::build::kX64SetupDxeFile}) {
    SCOPED_TRACE(Path);
    const auto Image = ReadFile(Path);
    ASSERT_FALSE(Image.empty());
    auto File = packaging::BuildSetupDriverFile(Image);
    ASSERT_TRUE(File) << File.Message();
    const pi::FfsFileView Info = *pi::ReadFfsFile(*File);
    EXPECT_EQ(pi::FormatGuid(Info.Name), packaging::kSetupDriverFileGuid);
    EXPECT_EQ(Info.Type, pi::file_type::kDriver);
    EXPECT_EQ(Info.Attributes & pi::file_attr::kChecksum, pi::file_attr::kChecksum);
    auto Sections = pi::ListSections(*File);
    ASSERT_TRUE(Sections) << Sections.Message();
    std::vector<uint8_t> Types;
    for (const pi::SectionView& S : *Sections) {
      Types.push_back(S.Type);
      const auto Body = pitest::Body(*File, S);
      if (S.Type == pi::section_type::kPe32) {
        EXPECT_EQ(Body, Image);
      } else if (S.Type == pi::section_type::kUserInterface) {
        EXPECT_EQ(Body, pi::UserInterfaceBody(u"SioF81216aSetupDxe"));
      } else if (S.Type == pi::section_type::kDxeDepex) {
        EXPECT_EQ(Body, packaging::EncodeSetupDriverDepex());
      }
    }
    EXPECT_EQ(Types, (std::vector<uint8_t>{pi::section_type::kDxeDepex, pi::section_type::kPe32,
                                           pi::section_type::kUserInterface}));
  }
}

// PUSH HII database, PUSH variable arch, AND, PUSH variable-write arch, AND, END.
TEST(SetupDriverFile, DepexWaitsForTheHiiDatabaseAndBothVariableProtocols) {
  const auto Code = packaging::EncodeSetupDriverDepex();
  ASSERT_EQ(Code.size(), 3 * 17 + 3u);
  const pi::Guid Pushed[] = {pi::kHiiDatabaseProtocolGuid, pi::kVariableArchProtocolGuid,
                             pi::kVariableWriteArchProtocolGuid};
  const size_t PushAt[] = {0, 17, 35};
  for (size_t I = 0; I < 3; ++I) {
    EXPECT_EQ(Code[PushAt[I]], pi::depex_op::kPush);
    EXPECT_TRUE(std::equal(Pushed[I].begin(), Pushed[I].end(), Code.begin() + PushAt[I] + 1));
  }
  EXPECT_EQ(Code[34], pi::depex_op::kAnd);
  EXPECT_EQ(Code[52], pi::depex_op::kAnd);
  EXPECT_EQ(Code[53], pi::depex_op::kEnd);
}

TEST(SetupDriverFile, RefusesWhatIsNoImage) {
  const std::vector<uint8_t> NotAnImage(512, 0x4D);
  EXPECT_FALSE(packaging::BuildSetupDriverFile(NotAnImage));
  EXPECT_FALSE(packaging::BuildSetupDriverFile({}));
}

} // namespace
