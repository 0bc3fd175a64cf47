// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "board/ScenarioCatalog.h"

#include <algorithm>
#include <vector>

#include "pi/Status.h"

namespace board {
namespace {

// Chip at Port with the given ID bytes, LD8 register 0xF0 reading 0xFF, and
// the setup variable Variable (nullopt: absent).
Scenario Board(std::optional<uint16_t> Port, std::optional<std::vector<uint8_t>> Variable,
               uint8_t IdHigh = 0x02, uint8_t IdLow = 0x16) {
  Scenario S;
  S.ChipPort = Port;
  S.ChipIdHigh = IdHigh;
  S.ChipIdLow = IdLow;
  S.SetupVariable = std::move(Variable);
  S.Registers.push_back({0x08, 0xF0, 0xFF});
  return S;
}

// A 67-byte variable with an LD8 entry (Param[2] 0) at each index given.
std::vector<uint8_t> Ld8Entries(std::initializer_list<std::pair<size_t, uint8_t>> Entries) {
  auto Data = EmptySetupData();
  for (auto [Index, Param0] : Entries)
    SetLd8Entry(Data, Index, Param0, 0x00);
  return Data;
}

template <typename Change> Scenario With(Scenario S, Change Apply) {
  Apply(S);
  return S;
}

std::vector<NamedScenario> Build() {
  auto Entry2 = Ld8Entries({{2, 0x5A}});
  auto Full = EmptySetupData();
  for (size_t K = 0; K < 5; ++K)
    SetLd8Entry(Full, K, uint8_t(0x10 + K), 0x00);
  return {
      {"default", "chip at 0x4E; entry 2 enables LD8 with Param[0] 0x5A", DefaultScenario()},
      {"chip-4e-no-variable", "chip at 0x4E, no setup variable", Board(0x4E, std::nullopt)},
      {"chip-2e", "chip at 0x2E, found on the second probe", Board(0x2E, Entry2)},
      {"chip-162e", "chip at 0x162E", Board(0x162E, Entry2)},
      {"chip-164e-no-variable", "chip at 0x164E, the last candidate; no setup variable",
       Board(0x164E, std::nullopt)},
      {"no-chip", "no chip answers at any candidate port", Board(std::nullopt, Entry2)},
      {"wrong-first-id-byte", "a chip at 0x4E whose ID starts 0x03: not ours",
       Board(0x4E, Entry2, 0x03, 0x16)},
      {"wrong-second-id-byte", "a chip at 0x4E whose ID ends 0x17: not ours",
       Board(0x4E, Entry2, 0x02, 0x17)},
      {"one-ld8-entry", "chip at 0x4E; one LD8 entry (index 2)", Board(0x4E, Entry2)},
      {"two-ld8-entries", "chip at 0x2E; LD8 entries at index 1 and 3",
       Board(0x2E, Ld8Entries({{1, 0x11}, {3, 0x33}}))},
      {"five-ld8-entries", "chip at 0x4E; all five entries enable LD8", Board(0x4E, Full)},
      {"disabled-entry", "an LD8 entry that is not enabled and one with a qualifier",
       Board(0x4E,
             [] {
               auto Data = EmptySetupData();
               SetLd8Entry(Data, 0, 0x11, 0x00, /*Enabled=*/0);
               SetLd8Entry(Data, 1, 0x22, 0x00, 1, /*Qualifier=*/1);
               return Data;
             }())},
      {"short-variable", "a 23-byte variable: entry 0 and 1 whole, entry 2 cut off",
       Board(0x4E, std::vector<uint8_t>(Full.begin(), Full.begin() + 23))},
      {"empty-variable", "a variable of 0 bytes", Board(0x4E, std::vector<uint8_t>{})},
      {"oversized-variable", "a 68-byte variable: too large for the buffer",
       Board(0x4E, std::vector<uint8_t>(68, 0x12))},
      {"claimed-size-4096", "GetVariable claims 4096 bytes for a 67-byte variable",
       With(Board(0x4E, Ld8Entries({{4, 0x66}})),
            [](Scenario& S) { S.Faults.GetVariableReportedSize = 4096; })},
      {"no-variable-ppi", "the variable PPI is not installed; the pass goes on",
       With(Board(0x4E, Ld8Entries({{0, 0x5A}})),
            [](Scenario& S) { S.Faults.NoVariablePpi = true; })},
      {"locate-null-ppi", "LocatePpi reports success without an interface",
       With(Board(0x4E, Entry2), [](Scenario& S) { S.Faults.LocateReturnsNullPpi = true; })},
      {"locate-fails", "LocatePpi returns EFI_DEVICE_ERROR",
       With(Board(0x4E, Entry2),
            [](Scenario& S) { S.Faults.LocatePpiStatus = pi::kEfiDeviceError; })},
      {"get-variable-fails", "GetVariable returns EFI_DEVICE_ERROR",
       With(Board(0x4E, Entry2),
            [](Scenario& S) { S.Faults.GetVariableStatus = pi::kEfiDeviceError; })},
      {"install-ppi-fails", "InstallPpi returns EFI_OUT_OF_RESOURCES: the module's status",
       With(Board(0x4E, std::nullopt),
            [](Scenario& S) { S.Faults.InstallPpiStatus = pi::kEfiOutOfResources; })},
  };
}

} // namespace

std::span<const NamedScenario> ScenarioCatalog() {
  static const std::vector<NamedScenario> Catalog = Build();
  return Catalog;
}

const NamedScenario* FindScenario(std::string_view Name) {
  auto Catalog = ScenarioCatalog();
  auto It = std::find_if(Catalog.begin(), Catalog.end(),
                         [&](const NamedScenario& S) { return S.Name == Name; });
  return It == Catalog.end() ? nullptr : &*It;
}

} // namespace board
