// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module found in a firmware: in Debian's OVMF builds with the module put
// into the compressed PEI volume as a firmware build places it (rebased to
// where it lies), judged in place, its dispatch foreseen, and run in the
// emulator at that address; and what is refused or reported when it is not so.
#include <gtest/gtest.h>

#include <string>

#include "chip/ImageBoardValues.h"
#include "common/BuildPaths.h"
#include "common/Hex.h"
#include "emulator/ImageEngine.h"
#include "engine/HostBoardValues.h"
#include "engine/HostEngine.h"
#include "ovmf/FirmwareModule.h"
#include "ovmf/OvmfImage.h"
#include "ovmf/PeiVolumeInserter.h"
#include "packaging/SioModuleFile.h"
#include "pe/ImageCheck.h"
#include "pe/ImageFile.h"
#include "pe/PeFile.h"
#include "pi/FirmwareVolume.h"
#include "pi/LittleEndian.h"
#include "tests/ovmf/DebianBuilds.h"

namespace {

using packaging::DepexChoice;

struct Assembled {
  std::vector<uint8_t> Flash;
  ovmf::Insertion Added;
};

// The Debian build's code image with the module packed with Depex, put into
// its PEI volume and the image rebuilt around it.
Assembled Assemble(const std::string& Code, const char* ImagePath, DepexChoice Depex,
                   packaging::ImageForm Form = packaging::ImageForm::Pe32) {
  auto Image = ovmf::OvmfImage::Parse(pe::ReadFileBytes(Code).value()).Value();
  const auto File =
      packaging::BuildSioModuleFile(pe::ReadFileBytes(ImagePath).value(), Depex, Form).Value();
  Assembled A;
  A.Added = ovmf::InsertPeim(Image.PeiVolume(), Image.PeiVolumeAddress(), File).Value();
  A.Flash = Image.Rebuild().Value();
  return A;
}

std::string Path(const char* Name) {
  return std::string(sio::build::kOvmfDir) + "/" + Name;
}

struct Case {
  const char* Code;
  const char* Image;
  DepexChoice Depex;
  bool Dispatched;
};

class FoundInFirmware : public testing::TestWithParam<Case> {};

TEST_P(FoundInFirmware, IsJudgedAndRunWhereItLiesAndItsDispatchForeseen) {
  const Case& C = GetParam();
  const Assembled A = Assemble(Path(C.Code), C.Image, C.Depex);
  ASSERT_TRUE(ovmf::IsFirmwareImage(A.Flash));
  auto Found = ovmf::FindFirmwareModule(A.Flash, packaging::kSioModuleFileName);
  ASSERT_TRUE(Found.Ok()) << Found.Message();
  EXPECT_FALSE(Found->Te);
  EXPECT_TRUE(Found->InPeiVolume);
  EXPECT_EQ(Found->Base, A.Added.ImageAddress);
  EXPECT_NE(Found->Volume.find("LZMA"), std::string::npos) << Found->Volume;
  EXPECT_EQ(Found->Depex, packaging::EncodeDepex(C.Depex));
  // Rebased as a whole, and lying where it is linked.
  EXPECT_TRUE(pe::ValidatePe32Image(Found->Image).Ok());
  EXPECT_FALSE(pe::StrayRelocatedAddress(Found->Image));
  const ovmf::InPlace Placed = ovmf::JudgeInPlace(*Found);
  EXPECT_TRUE(Placed.Passed) << Placed.Message;
  EXPECT_NE(Placed.Message.find("runs in place at " + sio::Hex(A.Added.ImageAddress, 8)),
            std::string::npos)
      << Placed.Message;
  const auto Never = ovmf::NeverDispatched(*Found);
  EXPECT_EQ(!Never, C.Dispatched) << Never.value_or("");
  if (Never) {
    EXPECT_NE(Never->find("READ_ONLY_VARIABLE2_PPI"), std::string::npos) << *Never;
    EXPECT_NE(Never->find("remedy: give it the TRUE dependency"), std::string::npos) << *Never;
  }

  // It runs in the emulator where it lies, as the host build does.
  const board::Scenario Board = board::DefaultScenario();
  const auto Run = emulator::RunImagePass(Found->Image, Board);
  ASSERT_TRUE(Run.Completed) << Run.Fault;
  EXPECT_EQ(Run.LoadAddress, Found->Base);
  const auto Values = chip::ReadBoardValues(Found->Image).Value();
  const SioBoardConfig Record = Values.Record();
  engine::ScopedBoardValues Scoped(Record);
  const auto Host = engine::RunHostPass(Board);
  EXPECT_EQ(Run.Result.Status, Host.Status);
  EXPECT_EQ(Run.Result.Events.size(), Host.Events.size());
}

// OVMF_CODE_4M.fd has no PEI variable service; OVMF_CODE.secboot.fd (X64 PEI) has one.
INSTANTIATE_TEST_SUITE_P(DebianBuilds, FoundInFirmware,
                         testing::Values(Case{"OVMF_CODE_4M.fd", sio::build::kImageFile,
                                              DepexChoice::VariablePpi, false},
                                         Case{"OVMF_CODE_4M.fd", sio::build::kImageFile,
                                              DepexChoice::True, true},
                                         Case{"OVMF_CODE.secboot.fd", sio::build::kX64ImageFile,
                                              DepexChoice::VariablePpi, true}),
                         [](const auto& I) {
                           return testsupport::BuildTestName(I) + "_" +
                                  std::string(packaging::DepexChoiceName(I.param.Depex));
                         });

TEST(FirmwareModule, ATeImageIsFoundAndPlaced) {
  const Assembled A = Assemble(Path("OVMF_CODE_4M.fd"), sio::build::kImageFile, DepexChoice::True,
                               packaging::ImageForm::Te);
  auto Found = ovmf::FindFirmwareModule(A.Flash, packaging::kSioModuleFileName);
  ASSERT_TRUE(Found.Ok()) << Found.Message();
  EXPECT_TRUE(Found->Te);
  EXPECT_EQ(Found->Base, A.Added.ImageAddress);
  EXPECT_TRUE(ovmf::JudgeInPlace(*Found).Passed) << ovmf::JudgeInPlace(*Found).Message;
}

// A volume of its own, outside any PEI volume: found, judged, never dispatched.
std::vector<uint8_t> LoneVolume(DepexChoice Depex) {
  const auto File =
      packaging::BuildSioModuleFile(pe::ReadFileBytes(sio::build::kImageFile).value(), Depex)
          .Value();
  return pi::BuildFirmwareVolume({File}).Value().Bytes;
}

TEST(FirmwareModule, FaultsAreFoundAndSaid) {
  // Outside the PEI volume: never dispatched, whatever its dependency.
  auto Lone =
      ovmf::FindFirmwareModule(LoneVolume(DepexChoice::True), packaging::kSioModuleFileName);
  ASSERT_TRUE(Lone.Ok()) << Lone.Message();
  EXPECT_FALSE(Lone->InPeiVolume);
  EXPECT_FALSE(Lone->VolumeAddress);
  ASSERT_TRUE(ovmf::NeverDispatched(*Lone));
  EXPECT_NE(ovmf::NeverDispatched(*Lone)->find("not in a PEI volume"), std::string::npos);

  // FALSE: never dispatched, said so.
  auto False =
      ovmf::FindFirmwareModule(LoneVolume(DepexChoice::False), packaging::kSioModuleFileName);
  ASSERT_TRUE(False.Ok());
  False->InPeiVolume = true;
  ASSERT_TRUE(ovmf::NeverDispatched(*False));
  EXPECT_NE(ovmf::NeverDispatched(*False)->find("false whatever is installed"), std::string::npos);

  // Its base moved without its relocation sites: not rebased as a whole.
  ovmf::FirmwareModule Moved = *Lone;
  const auto Pe = pe::ReadPeFile(Moved.Image).Value();
  const uint32_t NewBase = static_cast<uint32_t>(Pe.ImageBase) - 0x10000;
  for (int B = 0; B < 4; ++B)
    Moved.Image[Pe.ImageBaseOffset + B] = static_cast<uint8_t>(NewBase >> (8 * B));
  Moved.Base = NewBase;
  const ovmf::InPlace Placed = ovmf::JudgeInPlace(Moved);
  EXPECT_FALSE(Placed.Passed);
  EXPECT_NE(Placed.Message.find("outside the image"), std::string::npos) << Placed.Message;

  // Linked elsewhere than where its volume puts it.
  ovmf::FirmwareModule Elsewhere = *Lone;
  Elsewhere.VolumeAddress = Lone->Base - Lone->Rva0Offset + 0x1000;
  EXPECT_FALSE(ovmf::JudgeInPlace(Elsewhere).Passed);
}

TEST(FirmwareModule, WhatIsNoFirmwareOrHoldsNoModuleIsRefused) {
  const auto Image = pe::ReadFileBytes(sio::build::kImageFile).value();
  EXPECT_FALSE(ovmf::IsFirmwareImage(Image));
  EXPECT_FALSE(ovmf::IsFirmwareImage({}));
  const auto Volume = LoneVolume(DepexChoice::True);
  EXPECT_TRUE(ovmf::IsFirmwareImage(Volume));
  const pi::Guid Other = pi::GuidFromText("00000000-1111-2222-3333-444444444444");
  auto Missing = ovmf::FindFirmwareModule(Volume, Other);
  ASSERT_FALSE(Missing.Ok());
  EXPECT_NE(Missing.Message().find("holds a file named 00000000-1111"), std::string::npos)
      << Missing.Message();
  auto None = ovmf::FindFirmwareModule(std::vector<uint8_t>(4096, 0xFF), Other);
  ASSERT_FALSE(None.Ok());
  EXPECT_NE(None.Message().find("no firmware volume"), std::string::npos) << None.Message();
}

} // namespace
