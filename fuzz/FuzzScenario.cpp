// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "fuzz/FuzzScenario.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>

#include "chip/Registers.h"
#include "chip/SetupLayout.h"
#include "pi/Status.h"

namespace fuzzing {
namespace {

// A status as a PEI service might return it: success, a known error, a
// warning (no error bit), or any value at all.
uint32_t AnyStatus(FuzzedDataProvider& In) {
  static constexpr uint32_t kErrors[] = {pi::kEfiInvalidParameter, pi::kEfiUnsupported,
                                         pi::kEfiBufferTooSmall,   pi::kEfiDeviceError,
                                         pi::kEfiOutOfResources,   pi::kEfiNotFound};
  switch (In.ConsumeIntegralInRange<int>(0, 3)) {
  case 0:
    return pi::kEfiSuccess;
  case 1:
    return In.PickValueInArray(kErrors);
  case 2:
    return In.ConsumeIntegralInRange<uint32_t>(1, 0x7FFFFFFF);
  default:
    return In.ConsumeIntegral<uint32_t>();
  }
}

std::optional<uint16_t> ChipPlacement(FuzzedDataProvider& In) {
  switch (In.ConsumeIntegralInRange<int>(0, 6)) {
  case 0:
    return std::nullopt;
  case 1:
    return In.ConsumeIntegral<uint16_t>();
  default:
    return In.PickValueInArray(chip::kCandidatePorts);
  }
}

} // namespace

board::Scenario ScenarioFromBytes(const uint8_t* Data, size_t Size) {
  FuzzedDataProvider In(Data, Size);
  board::Scenario S;
  S.ChipPort = ChipPlacement(In);
  if (In.ConsumeBool()) {
    S.ChipIdHigh = In.ConsumeIntegral<uint8_t>();
    S.ChipIdLow = In.ConsumeIntegral<uint8_t>();
  }
  S.Registers.push_back({chip::kLd8, chip::kLd8RegMode, In.ConsumeIntegral<uint8_t>()});
  S.Registers.push_back({chip::kLd8, chip::kLd8RegValue, In.ConsumeIntegral<uint8_t>()});
  S.ChipReadAnswers = In.ConsumeBytes<uint8_t>(In.ConsumeIntegralInRange<size_t>(0, 24));

  auto& F = S.Faults;
  F.NoVariablePpi = In.ConsumeIntegralInRange<int>(0, 7) == 0;
  F.LocateReturnsNullPpi = In.ConsumeIntegralInRange<int>(0, 7) == 0;
  if (In.ConsumeBool())
    F.InstallPpiStatus = AnyStatus(In);
  if (In.ConsumeIntegralInRange<int>(0, 3) == 0)
    F.LocatePpiStatus = AnyStatus(In);
  if (In.ConsumeIntegralInRange<int>(0, 3) == 0)
    F.GetVariableStatus = AnyStatus(In);
  switch (In.ConsumeIntegralInRange<int>(0, 3)) {
  case 0:
    F.GetVariableReportedSize = In.ConsumeIntegralInRange<uint32_t>(0, 80);
    break;
  case 1:
    F.GetVariableReportedSize = In.ConsumeIntegral<uint32_t>();
    break;
  default:
    break;
  }

  // The stack's old bytes under the variable buffer: one byte repeated, or a
  // 12-byte pattern repeated (which can look like matching entries).
  std::vector<uint8_t> Pattern = In.ConsumeBytes<uint8_t>(In.ConsumeBool() ? 12 : 1);
  if (Pattern.empty())
    Pattern.push_back(0);
  for (size_t I = 0; I < chip::kSetupDataSize; ++I) {
    F.StaleBuffer.push_back(Pattern[I % Pattern.size()]);
  }

  if (In.ConsumeIntegralInRange<int>(0, 7) != 0)
    S.SetupVariable = In.ConsumeRemainingBytes<uint8_t>();
  return S;
}

std::string Describe(const board::Scenario& S, const board::PassResult& R,
                     const std::vector<std::string>& Violations) {
  auto Bytes = [](const std::vector<uint8_t>& V) {
    std::string Text;
    char Hex[4];
    for (uint8_t B : V) {
      std::snprintf(Hex, sizeof Hex, "%02X ", B);
      Text += Hex;
    }
    return Text;
  };
  const auto& F = S.Faults;
  auto Opt = [](const std::optional<uint32_t>& V) {
    return V ? pi::StatusName(*V) : std::string("-");
  };
  std::string Text = "scenario: chip ";
  Text += S.ChipPort ? std::to_string(*S.ChipPort) : std::string("absent");
  Text += " id " + std::to_string(S.ChipIdHigh) + "/" + std::to_string(S.ChipIdLow);
  Text += "\n  read answers: " + Bytes(S.ChipReadAnswers);
  Text += "\n  faults: no-ppi=" + std::to_string(F.NoVariablePpi) +
          " null-ppi=" + std::to_string(F.LocateReturnsNullPpi) +
          " install=" + Opt(F.InstallPpiStatus) + " locate=" + Opt(F.LocatePpiStatus) +
          " getvariable=" + Opt(F.GetVariableStatus) + " reported-size=" +
          (F.GetVariableReportedSize ? std::to_string(*F.GetVariableReportedSize) : "-");
  Text += "\n  stale buffer: " + Bytes(F.StaleBuffer);
  Text += "\n  variable: " + (S.SetupVariable ? Bytes(*S.SetupVariable) : std::string("absent"));
  Text += "\ntrace (status " + pi::StatusName(R.Status) + "):\n";
  for (const auto& E : R.Events)
    Text += "  " + pi::FormatEvent(E) + "\n";
  Text += "violations:\n";
  for (const auto& V : Violations)
    Text += "  " + V + "\n";
  return Text;
}

} // namespace fuzzing
