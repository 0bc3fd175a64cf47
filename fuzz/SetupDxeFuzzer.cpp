// SPDX-License-Identifier: BSD-2-Clause-Patent
// Fuzz target: the setup driver's images (IA-32 and X64) run in the CPU
// emulator on a DXE model the fuzzer's bytes describe: the variable present
// or not, of any size, bytes and attributes, and any service failing with
// any error. Each run must complete and return; the variable may change
// only by the one creation of an absent variable; a page is registered
// exactly when the entry succeeds, and then it is the image's own list over
// a variable the page can edit.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "chip/SetupLayout.h"
#include "common/BuildPaths.h"
#include "emulator/DxeRun.h"
#include "pi/Status.h"

namespace {

std::vector<uint8_t> ReadImage(const char* Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) {
    std::fprintf(stderr, "cannot read the setup driver image %s\n", Path);
    std::abort();
  }
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

constexpr uint32_t kPageAttributes = 0x3;

std::vector<uint8_t> CreatedVariable() {
  std::vector<uint8_t> Data(chip::kSetupDataSize, 0);
  Data[chip::kEntryKind] = chip::kKindLd8;
  return Data;
}

[[noreturn]] void Fail(const char* Image, const emulator::DxeRunReport& R, const std::string& Why) {
  std::fprintf(stderr, "%s setup driver: %s (status %s)\n", Image, Why.c_str(),
               pi::StatusName(R.Status).c_str());
  for (const auto& Call : R.Calls)
    std::fprintf(stderr, "  %s %s: %s\n", Call.Service.c_str(), pi::StatusName(Call.Status).c_str(),
                 Call.Detail.c_str());
  std::abort();
}

// The error a failing service answers with: a common one or any error value.
// (A service that reports success without doing its work is out of scope,
// but for LocateProtocol's missing interface, which the model injects itself.)
uint32_t PickError(FuzzedDataProvider& In) {
  static constexpr uint32_t kCommon[] = {pi::kEfiNotFound, pi::kEfiDeviceError,
                                         pi::kEfiBufferTooSmall, pi::kEfiOutOfResources,
                                         pi::kEfiInvalidParameter};
  if (In.ConsumeBool())
    return In.ConsumeIntegral<uint32_t>() | 0x80000000u;
  return In.PickValueInArray(kCommon);
}

emulator::DxeScenario ScenarioFromBytes(const uint8_t* Data, size_t Size) {
  FuzzedDataProvider In(Data, Size);
  emulator::DxeScenario Scenario;
  const uint8_t Faults = In.ConsumeIntegral<uint8_t>();
  if (Faults & 0x01)
    Scenario.Faults.LocateProtocolStatus = PickError(In);
  Scenario.Faults.LocateReturnsNull = (Faults & 0x02) != 0;
  if (Faults & 0x04)
    Scenario.Faults.InstallStatus = PickError(In);
  if (Faults & 0x08)
    Scenario.Faults.GetVariableStatus = PickError(In);
  if (Faults & 0x10)
    Scenario.Faults.SetVariableStatus = PickError(In);
  if (Faults & 0x20)
    Scenario.Faults.NewPackageListStatus = PickError(In);
  if (In.ConsumeBool()) {
    Scenario.SetupAttributes = In.ConsumeBool() ? kPageAttributes : In.ConsumeIntegral<uint32_t>();
    // Mostly the page's own variable with some bytes changed; else any bytes.
    if (In.ConsumeBool()) {
      auto Variable = CreatedVariable();
      const size_t Changes = In.ConsumeIntegralInRange<size_t>(0, 4);
      for (size_t I = 0; I < Changes; ++I)
        Variable[In.ConsumeIntegralInRange<size_t>(0, Variable.size() - 1)] =
            In.ConsumeIntegral<uint8_t>();
      Scenario.SetupVariable = Variable;
    } else {
      Scenario.SetupVariable = In.ConsumeBytes<uint8_t>(In.ConsumeIntegralInRange<size_t>(0, 200));
    }
  }
  return Scenario;
}

void Check(const char* Name, const std::vector<uint8_t>& Image,
           const emulator::DxeScenario& Scenario) {
  emulator::ImageRunOptions Options;
  Options.Rehearse = false;
  Options.TimeoutMicroseconds = 0;
  emulator::DxeRunReport R = emulator::RunDxeImage(Image, Scenario, Options);
  if (!R.Completed)
    Fail(Name, R, "did not complete: " + R.Fault);
  // The driver creates the variable when the store says it has none: it is
  // absent, or GetVariable answers EFI_NOT_FOUND.
  const bool MayCreate =
      !Scenario.SetupVariable || Scenario.Faults.GetVariableStatus == pi::kEfiNotFound;
  const bool Unchanged = R.SetupVariable == Scenario.SetupVariable &&
                         (!Scenario.SetupVariable || R.SetupAttributes == Scenario.SetupAttributes);
  const bool Created = R.SetupVariable == CreatedVariable() && R.SetupAttributes == kPageAttributes;
  if (!Unchanged && !(MayCreate && Created))
    Fail(Name, R,
         MayCreate ? "created a variable other than the page's" : "changed a variable it found");
  if (pi::IsError(R.Status) != R.PackageList.empty())
    Fail(Name, R, "a page registered and an error returned, or neither");
  if (!R.PackageList.empty()) {
    if (!R.DevicePathInstalled)
      Fail(Name, R, "registered the page on a handle without its device path");
    if (!R.SetupVariable || R.SetupVariable->size() != chip::kSetupDataSize ||
        (*R.SetupVariable)[chip::kEntryKind] != chip::kKindLd8 ||
        (*R.SetupVariable)[chip::kEntryQualifier] != 0 || R.SetupAttributes != kPageAttributes)
      Fail(Name, R, "registered the page over a variable it cannot edit");
    static std::vector<uint8_t> First;
    if (First.empty())
      First = R.PackageList;
    if (R.PackageList != First)
      Fail(Name, R, "registered another package list");
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const std::vector<uint8_t> Ia32 = ReadImage(sio::build::kSetupDxeFile);
  static const std::vector<uint8_t> X64 = ReadImage(sio::build::kX64SetupDxeFile);
  const emulator::DxeScenario Scenario = ScenarioFromBytes(Data, Size);
  Check("IA-32", Ia32, Scenario);
  Check("X64", X64, Scenario);
  return 0;
}
