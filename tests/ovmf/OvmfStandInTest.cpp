// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module's whole pass under OVMF's PEI Foundation with QEMU's SB16 mixer
// standing in for the chip, through the pipeline `sio ovmf` runs: on each OVMF
// build Debian ships the real firmware's trace equals the board model's for
// the same board, the setup variable stored in the variable store reaches the
// module where a variable service is (and not where none is, or when it is
// dispatched ahead of it), and the Shell's dmpstore reads back what was
// stored. One boot per test.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iostream>

#include "board/MixerStandIn.h"
#include "chip/Registers.h"
#include "common/BuildPaths.h"
#include "engine/HostEngine.h"
#include "ovmf/OvmfRun.h"
#include "ovmf/QemuMonitor.h"
#include "ovmf/QemuPortTrace.h"
#include "ovmf/QemuRunner.h"
#include "ovmf/SetupVariableStore.h"
#include "packaging/SioModuleFile.h"
#include "tests/ovmf/DebianBuilds.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct BootCase {
  std::string Name;
  board::Scenario Board;                                      // chip kind: the stand-in
  std::optional<packaging::DepexChoice> Depex = std::nullopt; // none: what the firmware can meet
  ovmf::InsertAt Where = ovmf::InsertAt::End;
  std::string Firmware = sio::build::kOvmfCode;
};

board::Scenario StandInAt(uint16_t Port, std::optional<std::vector<uint8_t>> Variable) {
  board::Scenario S = board::DefaultScenario();
  S.Kind = board::ChipKind::MixerStandIn;
  S.ChipPort = Port;
  S.Registers.clear();
  S.SetupVariable = std::move(Variable);
  return S;
}

// Entries 1 and 3 enable logical device 8, each with its own Param[0] and Param[2].
std::vector<uint8_t> TwoLd8Entries() {
  std::vector<uint8_t> Data = board::EmptySetupData();
  board::SetLd8Entry(Data, 1, 0x11, 0x05);
  board::SetLd8Entry(Data, 3, 0x33, 0x01);
  return Data;
}

// The pipeline `sio ovmf` runs: the module image packed for the firmware,
// inserted, booted with the stand-in, its runs picked out.
ovmf::OvmfRun BootCaseUnderQemu(const BootCase& C) {
  const fs::path Work = fs::path(sio::build::kTestWorkDir) / "stand-in" / C.Name;
  fs::create_directories(Work);
  ovmf::OvmfRequest R;
  R.Firmware = C.Firmware;
  R.Output = (Work / "code.fd").string();
  R.VarsOutput = (Work / "vars.fd").string();
  R.Images = {{ovmf::Processor::Ia32, sio::build::kImageFile},
              {ovmf::Processor::X64, sio::build::kX64ImageFile}};
  R.Depex = C.Depex;
  R.Where = C.Where;
  R.Board = C.Board;
  auto Run = ovmf::RunUnderOvmf(R);
  EXPECT_TRUE(Run) << Run.Message();
  if (!Run)
    return {};
  EXPECT_TRUE(Run->Booted) << Run->BootError;
  return std::move(*Run);
}

// The board model's pass as QEMU records it.
pi::Trace ModelTrace(const board::Scenario& S) {
  return ovmf::AsQemuSeesIt(engine::RunHostPass(S).Events);
}

void ExpectSameTrace(const pi::Trace& Qemu, const pi::Trace& Model) {
  ASSERT_EQ(Qemu.size(), Model.size());
  for (size_t I = 0; I < Model.size(); ++I)
    EXPECT_EQ(pi::FormatEvent(Qemu[I]), pi::FormatEvent(Model[I])) << "access " << I;
}

// Data-port accesses of one kind to register Reg (the last index written).
std::vector<uint32_t> DataAccesses(const pi::Trace& T, uint16_t IndexPort, uint8_t Reg,
                                   pi::EventKind Kind) {
  std::vector<uint32_t> Values;
  std::optional<uint32_t> Index;
  for (const auto& E : T) {
    if (E.Kind == pi::EventKind::IoWrite && E.Port == IndexPort)
      Index = E.Value;
    else if (E.Kind == Kind && E.Port == chip::DataPort(IndexPort) && Index == Reg)
      Values.push_back(E.Value);
  }
  return Values;
}
std::vector<uint32_t> Written(const pi::Trace& T, uint16_t IndexPort, uint8_t Reg) {
  return DataAccesses(T, IndexPort, Reg, pi::EventKind::IoWrite);
}
std::vector<uint32_t> Read(const pi::Trace& T, uint16_t IndexPort, uint8_t Reg) {
  return DataAccesses(T, IndexPort, Reg, pi::EventKind::IoRead);
}

// An OVMF build Debian ships, and what the module must find there.
using DebianBuild = testsupport::OvmfBuild;

class StandInOnEachBuild : public testing::TestWithParam<DebianBuild> {};

// One boot per build: the stand-in at 0x4E, two logical device 8 entries
// stored. Where the firmware has a variable service the module waits for it
// and applies both entries; where it has none the module is packed with TRUE
// and leaves logical device 8 alone. Either way the trace is the board
// model's for that firmware, and the Shell's dmpstore shows what was stored.
TEST_P(StandInOnEachBuild, TraceIsTheBoardModelsLd8FollowsTheVariableServiceDmpstoreShowsIt) {
  const DebianBuild& B = GetParam();
  BootCase C{std::string("build-") + B.Code, StandInAt(0x4E, TwoLd8Entries())};
  C.Firmware = (fs::path(sio::build::kOvmfDir) / B.Code).string();
  const ovmf::OvmfRun Run = BootCaseUnderQemu(C);
  ASSERT_TRUE(Run.Booted);
  std::cout << B.Code << ": " << Run.Qemu << ", boot " << Run.Booted->Seconds << " s\n";
  EXPECT_EQ(Run.Qemu, B.Qemu);
  EXPECT_EQ(Run.Foreseen, std::vector<std::string>{});
  EXPECT_EQ(Run.DepexChoice,
            B.VariableService ? packaging::DepexChoice::VariablePpi : packaging::DepexChoice::True);
  EXPECT_TRUE(Run.Booted->ReachedShell) << Run.Booted->Serial;
  ASSERT_EQ(Run.Runs.size(), 1u) << "dispatched once";
  board::Scenario Expected = C.Board;
  Expected.Faults.NoVariablePpi = !B.VariableService;
  ExpectSameTrace(Run.Runs[0], ModelTrace(Expected));
  EXPECT_TRUE(Run.SameAsModel);
  if (B.VariableService) {
    // 0xF0 starts at 0xFF: entry 1 clears bits 2 and 1 (Param[2] 5), entry 3 bit 1.
    EXPECT_EQ(Read(Run.Runs[0], 0x4E, 0xF0), (std::vector<uint32_t>{0xFF, 0xF9}));
    EXPECT_EQ(Written(Run.Runs[0], 0x4E, 0xF0), (std::vector<uint32_t>{0xF9, 0xF9}));
    EXPECT_EQ(Written(Run.Runs[0], 0x4E, 0xF1), (std::vector<uint32_t>{0x11, 0x33}));
  } else {
    EXPECT_TRUE(Written(Run.Runs[0], 0x4E, 0xF1).empty());
    EXPECT_TRUE(Read(Run.Runs[0], 0x4E, 0xF0).empty());
  }
  ASSERT_EQ(Run.Booted->ShellAnswers.size(), 1u) << Run.Booted->Serial;
  const auto Shown = ovmf::ParseDumpedVariable(Run.Booted->ShellAnswers[0]);
  ASSERT_TRUE(Shown) << Shown.Message() << "\n" << Run.Booted->ShellAnswers[0];
  EXPECT_EQ(*Shown, *C.Board.SetupVariable);
  EXPECT_TRUE(Run.Passed());
}

INSTANTIATE_TEST_SUITE_P(DebianOvmf, StandInOnEachBuild,
                         testing::ValuesIn(testsupport::BootedBuilds()),
                         testsupport::BuildTestName<testing::TestParamInfo<DebianBuild>>);

TEST(StandInUnderOvmf, LastCandidatePortWithoutAVariableLeavesLogicalDevice8Alone) {
  const BootCase C{"chip-0x164e-no-variable", StandInAt(0x164E, std::nullopt)};
  const ovmf::OvmfRun Run = BootCaseUnderQemu(C);
  ASSERT_TRUE(Run.Booted);
  EXPECT_TRUE(Run.Booted->ReachedShell);
  ASSERT_EQ(Run.Runs.size(), 1u);
  ExpectSameTrace(Run.Runs[0], ModelTrace(C.Board));
  EXPECT_TRUE(Written(Run.Runs[0], 0x164E, 0xF1).empty());
  EXPECT_TRUE(Read(Run.Runs[0], 0x164E, 0xF0).empty());
  size_t ExitKeys = 0;
  for (const auto& E : Run.Runs[0])
    ExitKeys += E.Kind == pi::EventKind::IoWrite && E.Port == 0x164E && E.Value == 0xAA;
  EXPECT_EQ(ExitKeys, 1u);
}

// Ahead of the other PEIMs, only the dependency expression holds the module
// back until the variable service is there.
TEST(StandInUnderOvmf, FirstInTheVolumeTheVariablePpiDependencyStillAppliesTheSetup) {
  BootCase C{"first-variable-ppi", StandInAt(0x4E, TwoLd8Entries())};
  C.Where = ovmf::InsertAt::AheadOfPeims;
  C.Depex = packaging::DepexChoice::VariablePpi;
  const ovmf::OvmfRun Run = BootCaseUnderQemu(C);
  ASSERT_TRUE(Run.Booted);
  EXPECT_TRUE(Run.Booted->ReachedShell);
  ASSERT_EQ(Run.Runs.size(), 1u);
  ExpectSameTrace(Run.Runs[0], ModelTrace(C.Board));
  EXPECT_EQ(Written(Run.Runs[0], 0x4E, 0xF1), (std::vector<uint32_t>{0x11, 0x33}));
}

// A TRUE dependency ahead of the variable PEIM runs before the service
// exists; the pipeline's model knows it and agrees with the firmware.
TEST(StandInUnderOvmf, FirstInTheVolumeATrueDependencyRunsBeforeTheVariableService) {
  BootCase C{"first-true", StandInAt(0x4E, TwoLd8Entries())};
  C.Where = ovmf::InsertAt::AheadOfPeims;
  C.Depex = packaging::DepexChoice::True;
  const ovmf::OvmfRun Run = BootCaseUnderQemu(C);
  ASSERT_TRUE(Run.Booted);
  EXPECT_TRUE(Run.Booted->ReachedShell);
  ASSERT_EQ(Run.Runs.size(), 1u);
  board::Scenario NoService = C.Board;
  NoService.Faults.NoVariablePpi = true;
  ExpectSameTrace(Run.Runs[0], ModelTrace(NoService));
  EXPECT_TRUE(Written(Run.Runs[0], 0x4E, 0xF1).empty());
  EXPECT_TRUE(Read(Run.Runs[0], 0x4E, 0xF0).empty());
  EXPECT_FALSE(Run.VariablePpiAtDispatch);
  EXPECT_TRUE(Run.SameAsModel);
}

// QEMU held before its first instruction, its monitor reached.
class HeldQemu {
public:
  explicit HeldQemu(uint16_t Port) {
    Dir_ = fs::path(sio::build::kTestWorkDir) / "stand-in" / ("held-" + std::to_string(Port));
    fs::create_directories(Dir_);
    fs::remove(Dir_ / "monitor");
    fs::copy_file(sio::build::kOvmfVars, Dir_ / "vars.fd", fs::copy_options::overwrite_existing);
    std::ofstream(Dir_ / "events") << "";
    ovmf::QemuOptions O;
    O.Code = sio::build::kOvmfCode;
    O.StandInPort = Port;
    const auto Args = *ovmf::QemuCommand(O, Dir_ / "vars.fd", Dir_ / "events", Dir_ / "monitor");
    std::vector<char*> Argv;
    for (const auto& A : Args)
      Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&Actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&Actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnp(&Pid_, Argv[0], &Actions, nullptr, Argv.data(), environ);
    posix_spawn_file_actions_destroy(&Actions);
  }
  ~HeldQemu() {
    if (Pid_ > 0) {
      kill(Pid_, SIGKILL);
      waitpid(Pid_, nullptr, 0);
    }
  }
  fs::path Monitor() const { return Dir_ / "monitor"; }

private:
  fs::path Dir_;
  pid_t Pid_ = 0;
};

// The board model's stand-in holds what QEMU's mixer holds: after reset at
// every candidate port, and after writes that reach its special registers
// (0x00 resets the file, 0x82 ignores writes, the keys merely select).
TEST(StandInUnderOvmf, BoardModelsRegisterFileEqualsQemusMixer) {
  for (uint16_t Port : chip::kCandidatePorts) {
    SCOPED_TRACE("index port " + std::to_string(Port));
    HeldQemu Qemu(Port);
    auto Monitor = ovmf::QemuMonitor::Connect(Qemu.Monitor(), std::chrono::seconds(10));
    ASSERT_TRUE(Monitor) << Monitor.Message();
    auto Registers = ovmf::ReadIndexedRegisters(*Monitor, Port);
    ASSERT_TRUE(Registers) << Registers.Message();
    const auto& Reset = board::MixerStandIn::kResetValues;
    EXPECT_EQ(*Registers, std::vector<uint8_t>(Reset.begin(), Reset.end()));
    auto Index = Monitor->ReadByte(Port);
    ASSERT_TRUE(Index);
    EXPECT_EQ(*Index, 0xFF) << "the index port reads all ones";
  }
  const uint16_t Port = 0x4E;
  HeldQemu Qemu(Port);
  auto Monitor = ovmf::QemuMonitor::Connect(Qemu.Monitor(), std::chrono::seconds(10));
  ASSERT_TRUE(Monitor) << Monitor.Message();
  board::MixerStandIn Model(Port);
  const std::vector<ovmf::IndexedWrite> Writes = {
      {0x77, 0x12}, {0x30, 0x55}, {0xF0, 0xF9}, {0x82, 0x12}, {0x7E, 0x05},
      {0x7F, 0x05}, {0x80, 0x05}, {0x81, 0x00}, {0x83, 0x05}, {0x00, 0x01},
      {0x31, 0x66}, {0xAA, 0x01}, {0x20, 0x02}, {0x21, 0x16}};
  for (const auto& W : Writes) {
    ASSERT_TRUE(Monitor->WriteByte(Port, W.Reg));
    ASSERT_TRUE(Monitor->WriteByte(chip::DataPort(Port), W.Value));
    Model.Write(Port, 1, W.Reg);
    Model.Write(chip::DataPort(Port), 1, W.Value);
  }
  auto Registers = ovmf::ReadIndexedRegisters(*Monitor, Port);
  ASSERT_TRUE(Registers) << Registers.Message();
  for (size_t Reg = 0; Reg < Registers->size(); ++Reg)
    EXPECT_EQ((*Registers)[Reg], Model.Registers()[Reg]) << "register " << Reg;
}

} // namespace
