// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module's firmware file dispatched by a real PEI Foundation: added to
// Debian's OVMF IA-32 image, booted under QEMU up to the UEFI Shell. QEMU has
// no chip at the candidate ports, so the module's accesses must equal the
// board's no-chip pass access for access. One boot per dispatch dependency;
// the build's own choice boots the file exactly as the build wrote it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/BuildPaths.h"
#include "engine/HostEngine.h"
#include "ovmf/OvmfImage.h"
#include "ovmf/PeiVolumeInserter.h"
#include "ovmf/QemuPortTrace.h"
#include "ovmf/QemuRunner.h"
#include "packaging/SioModuleFile.h"
#include "pe/ImageFile.h"
#include "pi/Guid.h"

namespace {

namespace fs = std::filesystem;

struct Patched {
  fs::path Path;
  ovmf::Insertion Added;
};

const pi::Guid kModuleName = packaging::kSioModuleFileName;

// The module's file for a dispatch dependency: the build's file as it lies
// for the build's own choice, the packaging's for the others.
std::vector<uint8_t> ModuleFile(packaging::DepexChoice When) {
  if (packaging::ParseDepexChoice(sio::build::kDepex) == When)
    return pe::ReadFileBytes(sio::build::kModuleFile).value();
  return packaging::BuildSioModuleFile(pe::ReadFileBytes(sio::build::kImageFile).value(), When)
      .Value();
}

Patched PatchedFirmware(packaging::DepexChoice When) {
  auto Image = ovmf::OvmfImage::Parse(pe::ReadFileBytes(sio::build::kOvmfCode).value()).Value();
  const auto File = ModuleFile(When);
  const std::string Name(packaging::DepexChoiceName(When));
  Patched P{fs::path(sio::build::kTestWorkDir) / "dispatch" / ("OVMF32_CODE." + Name + ".fd"),
            ovmf::InsertPeim(Image.PeiVolume(), Image.PeiVolumeAddress(), File).Value()};
  fs::create_directories(P.Path.parent_path());
  const auto Bytes = Image.Rebuild().Value();
  std::ofstream(P.Path, std::ios::binary)
      .write(reinterpret_cast<const char*>(Bytes.data()),
             static_cast<std::streamsize>(Bytes.size()));
  return P;
}

ovmf::QemuBoot Boot(const fs::path& Code) {
  ovmf::QemuOptions Options;
  Options.Code = Code;
  Options.VarsTemplate = sio::build::kOvmfVars;
  return ovmf::BootFirmware(Options).Value();
}

// Runs Command, returns its standard output and exit status.
std::pair<std::string, int> Capture(const std::string& Command) {
  std::string Out;
  FILE* Pipe = popen((Command + " 2>&1").c_str(), "r");
  if (!Pipe)
    return {"", -1};
  char Buffer[4096];
  for (size_t Got; (Got = fread(Buffer, 1, sizeof Buffer, Pipe)) > 0;)
    Out.append(Buffer, Got);
  return {Out, pclose(Pipe)};
}

pi::Trace NoChipPass() {
  board::Scenario NoChip = board::DefaultScenario();
  NoChip.ChipPort = std::nullopt;
  return ovmf::AsQemuSeesIt(engine::RunHostPass(NoChip).Events);
}

class DispatchedByOvmf : public testing::TestWithParam<packaging::DepexChoice> {};

TEST_P(DispatchedByOvmf, AccessesEqualTheNoChipPassAndTheBootReachesTheShell) {
  const Patched P = PatchedFirmware(GetParam());
  const ovmf::QemuBoot B = Boot(P.Path);
  EXPECT_TRUE(B.ReachedShell) << "after " << B.Seconds << " s; serial:\n" << B.Serial;
  const auto Runs = ovmf::ModuleRuns(B.Ports);
  ASSERT_EQ(Runs.size(), 1u) << "the module must be dispatched exactly once";
  const pi::Trace Expected = NoChipPass();
  ASSERT_EQ(Runs[0].size(), Expected.size());
  for (size_t I = 0; I < Expected.size(); ++I)
    EXPECT_EQ(pi::FormatEvent(Runs[0][I]), pi::FormatEvent(Expected[I])) << "access " << I;

  // Debian's UEFITool parses the patched image without a message and finds
  // the module's file by its name.
  const auto [Report, ReportStatus] =
      Capture("cd " + P.Path.parent_path().string() + " && UEFIExtract " +
              P.Path.filename().string() + " report");
  EXPECT_EQ(ReportStatus, 0);
  EXPECT_EQ(Report, "") << "UEFIExtract complained";
  std::string GuidBytes;
  for (uint8_t B : kModuleName) {
    char Hex[3];
    std::snprintf(Hex, sizeof Hex, "%02X", B);
    GuidBytes += Hex;
  }
  const auto [Found, FindStatus] =
      Capture("UEFIFind " + P.Path.string() + " header list " + GuidBytes);
  EXPECT_EQ(FindStatus, 0);
  EXPECT_EQ(Found, pi::FormatGuid(kModuleName) + "\n");
}

INSTANTIATE_TEST_SUITE_P(EachDispatchDependency, DispatchedByOvmf,
                         testing::Values(packaging::DepexChoice::VariablePpi,
                                         packaging::DepexChoice::True),
                         [](const auto& Info) {
                           return std::string(packaging::DepexChoiceName(Info.param));
                         });

TEST(NotDispatchedByOvmf, AFalseDependencyMakesNoAccess) {
  const Patched P = PatchedFirmware(packaging::DepexChoice::False);
  const ovmf::QemuBoot B = Boot(P.Path);
  EXPECT_TRUE(B.ReachedShell) << "after " << B.Seconds << " s";
  EXPECT_TRUE(ovmf::ModuleRuns(B.Ports).empty());
  EXPECT_GT(B.Ports.size(), 1000u) << "the trace must have recorded the firmware's own accesses";
}

} // namespace
