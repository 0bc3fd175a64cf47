// SPDX-License-Identifier: BSD-2-Clause-Patent
// What `sio ovmf` reads from each OVMF build Debian ships before it boots
// one: PEI's and DXE's processor modes, whether a PEIM installs the read-only
// variable PPI, the variable store beside the code image and the QEMU that
// runs it; and the module packed for it, as far as no boot is needed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "common/BuildPaths.h"
#include "ovmf/FirmwareSurvey.h"
#include "ovmf/OvmfImage.h"
#include "ovmf/OvmfRun.h"
#include "packaging/SioModuleFile.h"
#include "pe/ImageFile.h"
#include "pi/Depex.h"
#include "pi/KnownGuids.h"
#include "tests/ovmf/DebianBuilds.h"

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
    const auto Run = ovmf::RunUnderOvmf(R).Value();
    EXPECT_FALSE(Run.Booted);
    ASSERT_EQ(Run.Foreseen.size(), 1u);
    EXPECT_EQ(Run.Foreseen[0].substr(0, C.Reason.size()), C.Reason);
  }
}

} // namespace
