// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module's firmware file dispatched by a real PEI Foundation: added to
// Debian's OVMF IA-32 image, booted under QEMU up to the UEFI Shell. QEMU has
// no chip at the candidate ports, so the module's accesses must equal the
// board's no-chip pass access for access. One boot per dispatch dependency;
// the build's own choice boots the file exactly as the build wrote it. A file
// that is not dispatched is reported with the reason the firmware gives.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/BuildPaths.h"
#include "engine/HostEngine.h"
#include "ovmf/OvmfRun.h"
#include "ovmf/QemuPortTrace.h"
#include "packaging/SioModuleFile.h"
#include "pe/ImageFile.h"
#include "pi/Guid.h"
#include "pi/KnownGuids.h"

namespace {

namespace fs = std::filesystem;

const pi::Guid kModuleName = packaging::kSioModuleFileName;

// The module's file for a dispatch dependency: the build's file as it lies
// for the build's own choice, the packaging's for the others.
std::vector<uint8_t> ModuleFile(packaging::DepexChoice When) {
  if (packaging::ParseDepexChoice(sio::build::kDepex) == When)
    return pe::ReadFileBytes(sio::build::kModuleFile).value();
  return packaging::BuildSioModuleFile(pe::ReadFileBytes(sio::build::kImageFile).value(), When)
      .Value();
}

fs::path WorkDir() {
  return fs::path(sio::build::kTestWorkDir) / "dispatch";
}

// The file for When, written out, inserted as it is into the IA-32 image and
// booted, no chip, through the pipeline `sio ovmf` runs.
ovmf::OvmfRun BootFile(packaging::DepexChoice When) {
  const std::string Name(packaging::DepexChoiceName(When));
  fs::create_directories(WorkDir());
  const fs::path File = WorkDir() / (Name + ".ffs");
  const auto Bytes = ModuleFile(When);
  std::ofstream(File, std::ios::binary)
      .write(reinterpret_cast<const char*>(Bytes.data()),
             static_cast<std::streamsize>(Bytes.size()));
  ovmf::OvmfRequest R;
  R.Firmware = sio::build::kOvmfCode;
  R.Vars = sio::build::kOvmfVars;
  R.Output = (WorkDir() / ("OVMF32_CODE." + Name + ".fd")).string();
  R.FfsFile = File.string();
  R.Board = board::DefaultScenario();
  R.Board.ChipPort = std::nullopt;
  return ovmf::RunUnderOvmf(R).Value();
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
  const ovmf::OvmfRun Run = BootFile(GetParam());
  ASSERT_TRUE(Run.Booted) << Run.BootError;
  const ovmf::QemuBoot& B = *Run.Booted;
  EXPECT_TRUE(B.ReachedShell) << "after " << B.Seconds << " s; serial:\n" << B.Serial;
  const auto& Runs = Run.Runs;
  ASSERT_EQ(Runs.size(), 1u) << "the module must be dispatched exactly once";
  const pi::Trace Expected = NoChipPass();
  ASSERT_EQ(Runs[0].size(), Expected.size());
  for (size_t I = 0; I < Expected.size(); ++I)
    EXPECT_EQ(pi::FormatEvent(Runs[0][I]), pi::FormatEvent(Expected[I])) << "access " << I;
  EXPECT_TRUE(Run.Passed());
  const fs::path Patched = Run.Output;

  // Debian's UEFITool parses the patched image without a message and finds
  // the module's file by its name.
  const auto [Report, ReportStatus] =
      Capture("cd " + Patched.parent_path().string() + " && UEFIExtract " +
              Patched.filename().string() + " report");
  EXPECT_EQ(ReportStatus, 0);
  EXPECT_EQ(Report, "") << "UEFIExtract complained";
  std::string GuidBytes;
  for (uint8_t B : kModuleName) {
    char Hex[3];
    std::snprintf(Hex, sizeof Hex, "%02X", B);
    GuidBytes += Hex;
  }
  const auto [Found, FindStatus] =
      Capture("UEFIFind " + Patched.string() + " header list " + GuidBytes);
  EXPECT_EQ(FindStatus, 0);
  EXPECT_EQ(Found, pi::FormatGuid(kModuleName) + "\n");
}

INSTANTIATE_TEST_SUITE_P(EachDispatchDependency, DispatchedByOvmf,
                         testing::Values(packaging::DepexChoice::VariablePpi,
                                         packaging::DepexChoice::True),
                         [](const auto& Info) {
                           return std::string(packaging::DepexChoiceName(Info.param));
                         });

TEST(NotDispatchedByOvmf, AFalseDependencyMakesNoAccessAndSaysSo) {
  const ovmf::OvmfRun Run = BootFile(packaging::DepexChoice::False);
  ASSERT_TRUE(Run.Booted) << Run.BootError;
  EXPECT_TRUE(Run.Booted->ReachedShell) << "after " << Run.Booted->Seconds << " s";
  EXPECT_TRUE(Run.Runs.empty());
  EXPECT_GT(Run.Booted->Ports.size(), 1000u)
      << "the trace must have recorded the firmware's own accesses";
  EXPECT_FALSE(Run.Passed());
  EXPECT_EQ(Run.NotDispatched,
            std::vector<std::string>{"its dependency expression is false whatever is installed"});
}

// A file that waits for the read-only variable PPI, forced into a build
// whose PEI volume has no variable service: `sio ovmf` says before the boot
// that nothing installs it, boots, and exits 1 naming the PPI.
TEST(NotDispatchedByOvmf, AVariablePpiFileInABuildWithoutAVariableServiceExits1WithTheReason) {
  fs::create_directories(WorkDir());
  const fs::path File = WorkDir() / "forced-variable-ppi.ffs";
  const auto Bytes = ModuleFile(packaging::DepexChoice::VariablePpi);
  std::ofstream(File, std::ios::binary)
      .write(reinterpret_cast<const char*>(Bytes.data()),
             static_cast<std::streamsize>(Bytes.size()));
  const auto [Out, Status] =
      Capture(std::string(sio::build::kSioFile) + " ovmf " + File.string() + " --firmware " +
              sio::build::kOvmfDir + "/OVMF_CODE_4M.fd -o " + (WorkDir() / "forced.fd").string());
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 1) << Out;
  EXPECT_NE(Out.find("QEMU:      qemu-system-x86_64"), std::string::npos) << Out;
  EXPECT_NE(
      Out.find("           it will not be dispatched: its dependency expression is never met"),
      std::string::npos)
      << Out;
  EXPECT_NE(Out.find("Module:    made no port access (not dispatched)\n"
                     "           its dependency expression is never met: no PEIM of the PEI "
                     "volume installs the read-only variable PPI " +
                     pi::FormatGuid(pi::kReadOnlyVariable2PpiGuid)),
            std::string::npos)
      << Out;
  EXPECT_NE(Out.find("Boot:      reached the UEFI Shell"), std::string::npos) << Out;
}

} // namespace
