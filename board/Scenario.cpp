// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "board/Scenario.h"

#include "chip/SetupLayout.h"

namespace board {

std::vector<uint8_t> EmptySetupData() {
  return std::vector<uint8_t>(chip::kSetupDataSize, 0);
}

void SetLd8Entry(std::vector<uint8_t>& Data, size_t Index, uint8_t Param0, uint8_t Param2,
                 uint8_t Enabled, uint8_t Qualifier) {
  uint8_t* Entry = Data.data() + chip::kSetupEntrySize * Index;
  Entry[0] = chip::kChipIdHigh; // chip ID bytes, as the variable's writer fills them
  Entry[1] = chip::kChipIdLow;
  Entry[chip::kEntryKind] = chip::kKindLd8;
  Entry[chip::kEntryQualifier] = Qualifier;
  Entry[chip::kEntryEnabled] = Enabled;
  Entry[chip::kEntryParam0] = Param0;
  Entry[chip::kEntryParam2] = Param2;
}

Scenario DefaultScenario() {
  Scenario S;
  std::vector<uint8_t> Data = EmptySetupData();
  SetLd8Entry(Data, 2, 0x5A, 0x00);
  S.SetupVariable = std::move(Data);
  S.Registers.push_back({chip::kLd8, chip::kLd8RegMode, 0xFF});
  return S;
}

} // namespace board
