// SPDX-License-Identifier: BSD-2-Clause-Patent
// What `sio ovmf` reads from each OVMF build Debian ships before it boots
// one: PEI's and DXE's processor modes, whether a PEIM installs the read-only
// variable PPI, the variable store beside the code image and the QEMU that
// runs it; and the module packed for it, as far as no boot is needed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "chip/ImageBoardValues.h"
#include "common/BuildPaths.h"
#include "ovmf/FirmwareSurvey.h"
#include "ovmf/OvmfImage.h"
#include "ovmf/OvmfRun.h"
#include "packaging/SioModuleFile.h"
#include "pe/ImageFile.h"
#include "pi/Depex.h"
#include "pi/FfsFile.h"
#include "pi/FirmwareVolume.h"
#include "pi/KnownGuids.h"
#include "tests/ovmf/DebianBuilds.h"
#include "tests/support/ImageFixture.h"

namespace {

namespace fs = std::filesystem;
using ovmf::Processor;

using testsupport::kDebianBuilds;
using Build = testsupport::OvmfBuild;

class DebianBuild : public testing::TestWithParam<Build> {};

TEST_P(DebianBuild, ModesVariableServiceStoreAndQemu) {
  const Build& B = GetParam();
  const fs::path Code = fs::path(sio::build::kOvmfDir) / B.Code;
  const auto Bytes = pe::ReadFileBytes(Code.string()).value();
  const auto Image = ovmf::OvmfImage::Parse(Bytes).Value();
  EXPECT_EQ(Image.PeiVolumeAddress(), 0x820000u);
  const auto Survey = ovmf::SurveyFirmware(Image).Value();
  EXPECT_EQ(Survey.Pei, B.Pei);
  EXPECT_EQ(Survey.Dxe, B.Dxe);
  EXPECT_EQ(Survey.HasPeiVariableService(), B.VariableService);
  // One PEIM, the variable PEIM, installs the PPI; others carry its GUID to
  // locate it and do not count.
  EXPECT_LE(Survey.VariableServices.size(), 1u);
  const pi::Guid& Ppi = pi::kReadOnlyVariable2PpiGuid;
  size_t Carriers = 0;
  const auto Images = ovmf::VolumeImages(Image.PeiVolume()).Value();
  for (const auto& I : Images)
    Carriers +=
        std::search(I.Bytes.begin(), I.Bytes.end(), Ppi.begin(), Ppi.end()) != I.Bytes.end();
  EXPECT_GT(Carriers, Survey.VariableServices.size());
  EXPECT_EQ(ovmf::QemuFor(Survey), B.Qemu);
  EXPECT_EQ(ovmf::VariableStoreFor(Code.string(), Bytes.size()).Value(),
            (fs::path(sio::build::kOvmfDir) / B.Vars).string());
}

INSTANTIATE_TEST_SUITE_P(EachCodeImage, DebianBuild, testing::ValuesIn(kDebianBuilds),
                         testsupport::BuildTestName<testing::TestParamInfo<Build>>);

// The PEI core installs its own PPIs from constant descriptors too (the
// memory-discovered PPI once memory is there); a PPI no image describes has
// no installer.
TEST(PpiInstallers, FindsThePeiCoresOwnPpiAndNoneForAnUnknownGuid) {
  const auto Image =
      ovmf::OvmfImage::Parse(pe::ReadFileBytes(sio::build::kOvmfCode).value()).Value();
  constexpr pi::Guid kMemoryDiscovered = pi::GuidFromText("F894643D-C449-42D1-8EA8-85BDD8C65BDE");
  EXPECT_FALSE(ovmf::PpiInstallers(Image.PeiVolume(), kMemoryDiscovered).empty());
  EXPECT_TRUE(ovmf::PpiInstallers(Image.PeiVolume(), pi::kSioReadyPpiGuid).empty());
}

// Beside a code image "CODE" becomes "VARS", or the ".secboot" part goes; the
// two together fill a whole flash or the store is refused.
TEST(VariableStoreFor, TakesTheStoreBesideTheCodeImageThatFillsTheFlash) {
  const fs::path Work = fs::path(sio::build::kTestWorkDir) / "vars-for";
  fs::remove_all(Work);
  fs::create_directories(Work);
  const auto Code = [&Work](const char* Name) { return (Work / Name).string(); };
  EXPECT_FALSE(ovmf::VariableStoreFor(Code("firmware.fd"), 0x1E0000));
  EXPECT_FALSE(ovmf::VariableStoreFor(Code("OVMF_CODE.secboot.fd"), 0x1E0000));
  std::ofstream(Work / "OVMF_VARS.fd").close();
  fs::resize_file(Work / "OVMF_VARS.fd", 0x20000);
  EXPECT_EQ(ovmf::VariableStoreFor(Code("OVMF_CODE.secboot.fd"), 0x1E0000).Value(),
            Code("OVMF_VARS.fd"));
  EXPECT_FALSE(ovmf::VariableStoreFor(Code("OVMF_CODE.fd"), 0x1F0000));
}

// Before any boot, a module file that cannot be dispatched is said to be so,
// with the reason: a dependency on a PPI no PEIM installs, an image for the
// other processor mode. (The boots show files the firmware can dispatch with no
// reason given.)
TEST(RunUnderOvmf, ForeseesWhatKeepsAFileFromBeingDispatched) {
  struct Case {
    const char* Code;
    packaging::DepexChoice Depex;
    std::string Reason; // the start of the one reason
  };
  const Case Cases[] = {
      {"OVMF_CODE_4M.fd", packaging::DepexChoice::VariablePpi,
       "its dependency expression is never met: no PEIM of the PEI volume installs the "
       "read-only variable PPI"},
      {"OVMF_CODE.secboot.fd", packaging::DepexChoice::VariablePpi,
       "its image is built for IA-32, and this PEI Foundation runs X64"},
  };
  const fs::path Work = fs::path(sio::build::kTestWorkDir) / "foreseen";
  fs::create_directories(Work);
  const auto Image = pe::ReadFileBytes(sio::build::kImageFile).value();
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Code) + " " + std::string(packaging::DepexChoiceName(C.Depex)));
    const fs::path File = Work / "module.ffs";
    const auto Bytes = packaging::BuildSioModuleFile(Image, C.Depex).Value();
    std::ofstream(File, std::ios::binary)
        .write(reinterpret_cast<const char*>(Bytes.data()),
               static_cast<std::streamsize>(Bytes.size()));
    ovmf::OvmfRequest R;
    R.Firmware = (fs::path(sio::build::kOvmfDir) / C.Code).string();
    R.FfsFile = File.string();
    R.Output = (Work / "code.fd").string();
    R.Boot = false;
    R.OtherMode = true;
    const auto Run = ovmf::RunUnderOvmf(R).Value();
    EXPECT_FALSE(Run.Booted);
    ASSERT_EQ(Run.Foreseen.size(), 1u);
    EXPECT_EQ(Run.Foreseen[0].substr(0, C.Reason.size()), C.Reason);
  }
}

// A file of Type named after Last holding Image in a PE32 section, or in a TE
// section when Te.
std::vector<uint8_t> ImageFile(uint8_t Type, uint8_t Last, std::vector<uint8_t> Image,
                               bool Te = false) {
  pi::FileRecipe Recipe;
  Recipe.Name = *pi::ParseGuid("5B6A0E7C-1D2F-4A3B-9C8D-7E6F5A4B3C00");
  Recipe.Name[15] = Last;
  Recipe.Type = Type;
  Recipe.Sections = {{Te ? pi::section_type::kTe : pi::section_type::kPe32, std::move(Image), 4}};
  return pi::BuildFfsFile(Recipe).Value().Bytes;
}

std::vector<uint8_t> WithMachine(std::vector<uint8_t> Image, uint16_t Machine) {
  test::Poke<uint16_t>(Image, test::Offsets(Image).Coff, Machine);
  return Image;
}

// PEI's mode is its PEI core's; a PEIM built for any other machine is one the
// PEI Foundation does not load, and the volume is refused alike whether one
// PEIM or every PEIM is so, and whatever that machine is.
TEST(PeiProcessor, EveryPeimIsBuiltForThePeiCoresMachine) {
  const auto Ia32 = test::BuiltImage(), X64 = test::BuiltX64Image();
  struct Case {
    const char* Label;
    std::vector<std::vector<uint8_t>> Peims;
    std::optional<Processor> Mode; // nothing: refused
  };
  const Case Cases[] = {
      {"every PEIM IA-32", {Ia32, Ia32}, Processor::Ia32},
      {"no PEIM", {}, Processor::Ia32},
      {"every PEIM X64", {X64, X64}, std::nullopt},
      {"one PEIM X64", {Ia32, X64}, std::nullopt},
      {"one PEIM EBC", {Ia32, WithMachine(Ia32, 0x0EBC)}, std::nullopt},
      {"one PEIM AArch64", {WithMachine(Ia32, 0xAA64), Ia32}, std::nullopt},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Label);
    std::vector<std::vector<uint8_t>> Files = {ImageFile(pi::file_type::kPeiCore, 0xF0, Ia32)};
    for (size_t I = 0; I < C.Peims.size(); ++I)
      Files.push_back(ImageFile(pi::file_type::kPeim, static_cast<uint8_t>(I), C.Peims[I]));
    const auto Volume = pi::BuildFirmwareVolume(Files).Value();
    const auto Mode = ovmf::PeiProcessor(Volume.Bytes);
    if (C.Mode) {
      ASSERT_TRUE(Mode) << Mode.Message();
      EXPECT_EQ(*Mode, *C.Mode);
    } else {
      ASSERT_FALSE(Mode);
      EXPECT_NE(Mode.Message().find("which its PEI Foundation does not load"), std::string::npos)
          << Mode.Message();
    }
  }
}

// A PEIM image made of nothing but copies of a PPI's GUID (740 KB of them)
// is read in time linear in its size; a descriptor after them is still found.
TEST(PpiInstallers, ManyCopiesOfTheGuidAreReadInLinearTime) {
  const pi::Guid& Ppi = pi::kReadOnlyVariable2PpiGuid;
  constexpr uint64_t kBase = 0x100000;
  std::vector<uint8_t> Te(sizeof(pi::TeHeader), 0);
  pi::TeHeader H{};
  H.Signature = pi::kTeSignature;
  H.Machine = pe::kMachineI386;
  H.StrippedSize = sizeof(pi::TeHeader);
  H.ImageBase = kBase;
  std::memcpy(Te.data(), &H, sizeof H);
  while (Te.size() < 740 * 1024)
    Te.insert(Te.end(), Ppi.begin(), Ppi.end());
  const auto Volume = [&Te] {
    return pi::BuildFirmwareVolume({ImageFile(pi::file_type::kPeim, 1, Te, true)}).Value().Bytes;
  };
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ovmf::PpiInstallers(Volume(), Ppi).empty());
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(10));
  // A descriptor: the PPI flag with the end of the list, the address of the
  // first copy (right after the header), no interface.
  const uint32_t Descriptor[] = {0x80000010, static_cast<uint32_t>(kBase + sizeof(pi::TeHeader)),
                                 0};
  const auto* Bytes = reinterpret_cast<const uint8_t*>(Descriptor);
  Te.insert(Te.end(), Bytes, Bytes + sizeof Descriptor);
  EXPECT_EQ(ovmf::PpiInstallers(Volume(), Ppi).size(), 1u);
}

// `sio ovmf` writes nothing until every check has passed: a refusal leaves
// no patched code image and no store behind, and the files it reads as they
// were.
TEST(RunUnderOvmf, ARefusalLeavesNothingWritten) {
  const fs::path Work = fs::path(sio::build::kTestWorkDir) / "refusal-writes-nothing";
  fs::remove_all(Work);
  fs::create_directories(Work);
  const fs::path Debian = fs::path(sio::build::kOvmfCode);
  const fs::path Code = Work / "OVMF32_CODE_4M.secboot.fd";
  fs::copy_file(Debian, Code);
  fs::copy_file(Debian.parent_path() / "OVMF32_VARS_4M.fd", Work / "OVMF32_VARS_4M.fd");
  fs::copy_file(Debian, Work / "firmware.fd");
  fs::copy_file(Debian, Work / "OVMF_CODE.fd");
  {
    std::ofstream(Work / "OVMF_VARS.fd").close();
    fs::resize_file(Work / "OVMF_VARS.fd", 0x1000);
  }
  std::vector<uint8_t> Damaged = test::BuiltImage();
  Damaged[chip::BoardValuesFileOffset(Damaged).Value() +
          __builtin_offsetof(SioBoardConfig, InitScriptClosing)] = 0x07;
  std::ofstream(Work / "damaged.efi", std::ios::binary)
      .write(reinterpret_cast<const char*>(Damaged.data()), std::streamsize(Damaged.size()));
  const std::string Vars = (Work / "OVMF32_VARS_4M.fd").string();
  const auto VarsBefore = pe::ReadFileBytes(Vars).value();

  struct Case {
    const char* Label;
    void (*Change)(ovmf::OvmfRequest&, const fs::path& Work);
    const char* Reason;
  } Cases[] = {
      {"no store beside the code image",
       [](ovmf::OvmfRequest& R, const fs::path& W) { R.Firmware = (W / "firmware.fd").string(); },
       "no variable store to go with it"},
      {"not a whole flash with the code image",
       [](ovmf::OvmfRequest& R, const fs::path& W) { R.Firmware = (W / "OVMF_CODE.fd").string(); },
       "not a whole flash"},
      {"an X64 image for an IA-32 PEI",
       [](ovmf::OvmfRequest& R, const fs::path&) {
         R.Images = {{Processor::Ia32, sio::build::kX64ImageFile}};
       },
       "its image is built for X64"},
      {"a board record whose closing pair is not zero",
       [](ovmf::OvmfRequest& R, const fs::path& W) {
         R.Images = {{Processor::Ia32, (W / "damaged.efi").string()}};
       },
       "closing pair"},
      {"the store's copy over the store",
       [](ovmf::OvmfRequest& R, const fs::path& W) {
         R.Board.SetupVariable = std::vector<uint8_t>(67, 0);
         R.VarsOutput = (W / "OVMF32_VARS_4M.fd").string();
       },
       "is the variable store copied"},
      {"the patched image over the store",
       [](ovmf::OvmfRequest& R, const fs::path& W) {
         R.Output = (W / "sub" / ".." / "OVMF32_VARS_4M.fd").string();
       },
       "names the variable store"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Label);
    fs::create_directories(Work / "sub");
    ovmf::OvmfRequest R;
    R.Firmware = Code.string();
    R.Images = {{Processor::Ia32, sio::build::kImageFile}};
    R.Output = (Work / "out.fd").string();
    R.VarsOutput = (Work / "vars-out.fd").string();
    R.Board.SetupVariable.reset();
    R.Boot = false;
    C.Change(R, Work);
    const auto Run = ovmf::RunUnderOvmf(R);
    ASSERT_FALSE(Run);
    EXPECT_NE(Run.Message().find(C.Reason), std::string::npos) << Run.Message();
    EXPECT_FALSE(fs::exists(Work / "out.fd"));
    EXPECT_FALSE(fs::exists(Work / "vars-out.fd"));
    EXPECT_FALSE(fs::exists(Work / "firmware.sio.fd"));
    EXPECT_EQ(pe::ReadFileBytes(Vars).value(), VarsBefore);
  }
}

} // namespace
