// SPDX-License-Identifier: BSD-2-Clause-Patent
// The setup driver's images, IA-32 and X64, run in the emulator on the DXE
// model: the page registered on a handle with its device path, the variable
// created once when absent, and every refusal and failing service leaving the
// variable as it was, returning a status, with no fault.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "chip/SetupLayout.h"
#include "common/BuildPaths.h"
#include "emulator/DxeRun.h"
#include "hii/HiiEncoder.h"
#include "hii/SetupPage.h"
#include "pi/KnownGuids.h"
#include "pi/Status.h"

namespace {

std::vector<uint8_t> ReadFile(const char* Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

struct DriverImage {
  const char* Name;
  const char* Path;
  emulator::ProcessorMode Mode;
};

class SetupDriver : public testing::TestWithParam<DriverImage> {
protected:
  emulator::DxeRunReport Run(const emulator::DxeScenario& Scenario) {
    static std::map<std::string, std::vector<uint8_t>> Images;
    auto& Image = Images[GetParam().Path];
    if (Image.empty())
      Image = ReadFile(GetParam().Path);
    EXPECT_FALSE(Image.empty()) << GetParam().Path;
    emulator::ImageRunOptions Options;
    Options.Rehearse = false;
    return emulator::RunDxeImage(Image, Scenario, Options);
  }
};

std::vector<uint8_t> PageVariable() {
  std::vector<uint8_t> Data(chip::kSetupDataSize, 0);
  Data[chip::kEntryKind] = chip::kKindLd8;
  return Data;
}

std::vector<std::string> Services(const emulator::DxeRunReport& R) {
  std::vector<std::string> Names;
  for (const auto& Call : R.Calls)
    Names.push_back(Call.Service);
  return Names;
}

TEST_P(SetupDriver, CreatesTheVariableWhenAbsentAndRegistersThePage) {
  auto R = Run({});
  ASSERT_TRUE(R.Completed) << R.Fault;
  EXPECT_EQ(R.Mode, GetParam().Mode);
  EXPECT_EQ(R.Status, pi::kEfiSuccess);
  EXPECT_EQ(Services(R),
            (std::vector<std::string>{"LocateProtocol", "GetVariable", "SetVariable",
                                      "InstallMultipleProtocolInterfaces", "NewPackageList"}));
  ASSERT_TRUE(R.SetupVariable);
  EXPECT_EQ(*R.SetupVariable, PageVariable());
  EXPECT_EQ(R.SetupAttributes, 0x3u);
  // The list the image carries is the encoder's, byte for byte.
  auto Encoded = hii::EncodePage(hii::ChipSetupPage());
  ASSERT_TRUE(Encoded);
  EXPECT_EQ(R.PackageList, Encoded->PackageList);
  // On the handle that carries the vendor device path named by the formset.
  EXPECT_TRUE(R.DevicePathInstalled);
  ASSERT_EQ(R.DevicePath.size(), 24u);
  EXPECT_EQ(R.DevicePath[0], 0x01);
  EXPECT_EQ(R.DevicePath[1], 0x04);
  EXPECT_EQ(R.DevicePath[2], 20);
  EXPECT_TRUE(std::equal(pi::kSioSetupFormSetGuid.begin(), pi::kSioSetupFormSetGuid.end(),
                         R.DevicePath.begin() + 4));
  EXPECT_EQ(R.DevicePath[20], 0x7F);
  EXPECT_EQ(R.DevicePath[21], 0xFF);
}

TEST_P(SetupDriver, KeepsAVariableOfItsOwnAsItIs) {
  std::vector<uint8_t> Saved = PageVariable();
  Saved[chip::kEntryEnabled] = 1;
  Saved[chip::kEntryParam0] = 0x3C;
  Saved[chip::kEntryParam2] = 2;
  Saved[40] = 0x99; // a byte no question holds
  emulator::DxeScenario Scenario;
  Scenario.SetupVariable = Saved;
  auto R = Run(Scenario);
  ASSERT_TRUE(R.Completed) << R.Fault;
  EXPECT_EQ(R.Status, pi::kEfiSuccess);
  EXPECT_EQ(R.SetupVariable, Saved);
  EXPECT_FALSE(R.PackageList.empty());
  for (const auto& Call : R.Calls)
    EXPECT_NE(Call.Service, "SetVariable");
}

// A variable that is another writer's: no write, no page, a status.
TEST_P(SetupDriver, LeavesAnotherWritersVariableAndRegistersNoPage) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    uint32_t Attributes;
  };
  auto With = [](size_t Offset, uint8_t Value) {
    auto D = PageVariable();
    D[Offset] = Value;
    return D;
  };
  std::vector<Case> Cases = {
      {"empty", {}, 3},
      {"one byte", {0x12}, 3},
      {"66 bytes",
       [] {
         auto D = PageVariable();
         D.pop_back();
         return D;
       }(),
       3},
      {"68 bytes",
       [] {
         auto D = PageVariable();
         D.push_back(0);
         return D;
       }(),
       3},
      {"200 bytes",
       [] {
         auto D = PageVariable();
         D.resize(200);
         return D;
       }(),
       3},
      {"first entry of the configuration kind", With(chip::kEntryKind, 0x7F), 3},
      {"first entry of kind 0", With(chip::kEntryKind, 0), 3},
      {"qualifier 1", With(chip::kEntryQualifier, 1), 3},
      {"run-time access too", PageVariable(), 7},
      {"volatile", PageVariable(), 2},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    emulator::DxeScenario Scenario;
    Scenario.SetupVariable = C.Data;
    Scenario.SetupAttributes = C.Attributes;
    auto R = Run(Scenario);
    ASSERT_TRUE(R.Completed) << R.Fault;
    EXPECT_TRUE(pi::IsError(R.Status)) << pi::StatusName(R.Status);
    EXPECT_EQ(R.SetupVariable, C.Data);
    EXPECT_EQ(R.SetupAttributes, C.Attributes);
    EXPECT_TRUE(R.PackageList.empty());
    EXPECT_EQ(Services(R), (std::vector<std::string>{"LocateProtocol", "GetVariable"}));
  }
}

// Each service failing in turn, over an absent and a present variable.
TEST_P(SetupDriver, EachFailingServiceEndsTheEntryWithAStatus) {
  struct Case {
    const char* Name;
    emulator::DxeFaults Faults;
    uint32_t Status;
    bool Created; // the variable is created before the failure
  };
  auto F = [](auto Set) {
    emulator::DxeFaults Faults;
    Set(Faults);
    return Faults;
  };
  const Case Cases[] = {
      {"HII database absent", F([](auto& X) { X.LocateProtocolStatus = pi::kEfiNotFound; }),
       pi::kEfiNotFound, false},
      {"HII database without interface", F([](auto& X) { X.LocateReturnsNull = true; }),
       pi::kEfiNotFound, false},
      {"variable read error", F([](auto& X) { X.GetVariableStatus = pi::kEfiDeviceError; }),
       pi::kEfiDeviceError, false},
      {"variable write refused", F([](auto& X) { X.SetVariableStatus = pi::kEfiOutOfResources; }),
       pi::kEfiOutOfResources, false},
      {"device path refused", F([](auto& X) { X.InstallStatus = pi::kEfiOutOfResources; }),
       pi::kEfiOutOfResources, true},
      {"package list refused", F([](auto& X) { X.NewPackageListStatus = pi::kEfiOutOfResources; }),
       pi::kEfiOutOfResources, true},
  };
  for (const auto& C : Cases) {
    for (bool Present : {false, true}) {
      SCOPED_TRACE(std::string(C.Name) + (Present ? ", variable present" : ", variable absent"));
      emulator::DxeScenario Scenario;
      if (Present)
        Scenario.SetupVariable = PageVariable();
      Scenario.Faults = C.Faults;
      auto R = Run(Scenario);
      ASSERT_TRUE(R.Completed) << R.Fault;
      // A present variable makes the write unnecessary: its refusal never shows.
      if (Present && C.Faults.SetVariableStatus) {
        EXPECT_EQ(R.Status, pi::kEfiSuccess);
        continue;
      }
      EXPECT_EQ(R.Status, C.Status);
      EXPECT_TRUE(R.PackageList.empty());
      if (Present || C.Created)
        EXPECT_EQ(R.SetupVariable, PageVariable());
      else
        EXPECT_FALSE(R.SetupVariable);
    }
  }
}

TEST_P(SetupDriver, RunsWhereverTheLoaderPlacesIt) {
  emulator::ImageRunOptions Options;
  Options.Rehearse = false;
  Options.LoadAddress = 0x00200000;
  auto R = emulator::RunDxeImage(ReadFile(GetParam().Path), {}, Options);
  ASSERT_TRUE(R.Completed) << R.Fault;
  EXPECT_EQ(R.Status, pi::kEfiSuccess);
  EXPECT_FALSE(R.PackageList.empty());
}

TEST_P(SetupDriver, FitsItsBudget) {
  EXPECT_LE(ReadFile(GetParam().Path).size(), 4096u);
}

INSTANTIATE_TEST_SUITE_P(
    BothImages, SetupDriver,
    testing::Values(DriverImage{"IA32", sio::build::kSetupDxeFile, emulator::ProcessorMode::Ia32},
                    DriverImage{"X64", sio::build::kX64SetupDxeFile, emulator::ProcessorMode::X64}),
    [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
